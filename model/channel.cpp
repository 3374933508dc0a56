#include "model/channel.h"
#include "model/model_tables.h"

#include <ostream>

void Channel::print(std::ostream& out) const {
  out << name_ << " (" << (urgent_ ? "true" : "false") << ", " << number_ << ')';
}

std::int32_t Channels::add(bool urgent, const std::string& name) {
  std::int32_t number = size() + 1;
  table_.emplace_back(new Channel(number, urgent, name));
  return number;
}

Channel* Channels::lookup(std::int32_t number) const {
  if (number < 1 || number > size()) return nullptr;
  return table_[number - 1].get();
}

bool Channels::isUrgent(std::int32_t number) const {
  Channel* channel = lookup(number);
  return channel && channel->isUrgent();
}

void Channels::print(std::ostream& out) const {
  out << "Number of channels: " << size();
  for (const Ref<Channel>& channel : table_) {
    out << "\n  ";
    if (channel)
      channel->print(out);
    else
      out << "(null)";
  }
}

Channels& channels() { return modelTables().channels; }
