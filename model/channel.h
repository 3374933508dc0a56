// model/channel.h: synchronisation channels and the labels that refer to them.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/ref.h"

// The synchronisation of an edge: 0 for none, +n for sending on channel n, -n for receiving.
using SyncLabel = std::int32_t;

inline std::int32_t syncChannel(SyncLabel label) { return label < 0 ? -label : label; }
inline bool isSending(SyncLabel label) { return label > 0; }
inline bool isReceiving(SyncLabel label) { return label < 0; }

class Channel : public Object {
 public:
  Channel(std::int32_t number, bool urgent, std::string name)
      : number_(number), urgent_(urgent), name_(std::move(name)) {}

  std::int32_t number() const { return number_; }  // counted from 1
  bool isUrgent() const { return urgent_; }
  const std::string& name() const { return name_; }
  // name (urgent, number), for example "c (true, 3)"
  void print(std::ostream& out) const;

 private:
  std::int32_t number_;
  bool urgent_;
  std::string name_;
};

// The current model's channel table in declaration order; a value, saved by copying and reset by
// assigning a fresh one:  Channels saved = channels();  channels() = Channels();
class Channels {
 public:
  // Appends a channel numbered with the new table size and returns that number.
  std::int32_t add(bool urgent, const std::string& name);
  // Null for a number outside the table.
  Channel* lookup(std::int32_t number) const;
  // False for a number outside the table.
  bool isUrgent(std::int32_t number) const;
  std::int32_t size() const { return std::int32_t(table_.size()); }
  void print(std::ostream& out) const;

 private:
  std::vector<Ref<Channel>> table_;
};

Channels& channels();
