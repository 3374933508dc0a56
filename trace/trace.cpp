// trace/trace.cpp: memory and null trace stores, and the concatenation of traces.
#include "trace/trace.h"

#include <algorithm>

#include "base/error.h"

ConcatTrace::ConcatTrace(Ref<Trace> head, Ref<Trace> tail)
    : head_(std::move(head)), tail_(std::move(tail)), part_(nullptr) {
  reset();
}

void ConcatTrace::settle() {
  if (part_ == head_.get() && (!part_ || part_->atEnd())) part_ = tail_.get();
}

void ConcatTrace::reset() {
  if (head_) head_->reset();
  if (tail_) tail_->reset();
  part_ = head_.get();
  settle();
}

void ConcatTrace::next() {
  if (!part_) return;
  part_->next();
  settle();
}

std::int32_t ConcatTrace::length() const {
  return (head_ ? head_->length() : 0) + (tail_ ? tail_->length() : 0);
}

TraceStep ConcatTrace::current() const { return part_ ? part_->current() : TraceStep{}; }

bool ConcatTrace::atEnd() const { return !part_ || part_->atEnd(); }

Ref<Trace> concatTraces(Ref<Trace> head, Ref<Trace> tail) {
  return Ref<Trace>(new ConcatTrace(std::move(head), std::move(tail)));
}

std::int32_t MemoryTraceStore::addStep(Transition* first, Transition* second, std::int32_t parent) {
  entries_.push_back(Entry{Ref<Transition>(first), Ref<Transition>(second), parent});
  return std::int32_t(entries_.size() - 1);
}

Ref<Trace> MemoryTraceStore::createTrace(std::int32_t to) {
  std::vector<TraceStep> steps;
  if (to >= std::int32_t(entries_.size()))
    internalError("Invalid arguments in call to MemoryTraceStore::createTrace");
  if (to >= 0) {
    // The root entry (parent -1) stands for the start state and contributes no step.
    for (std::int32_t at = to; entries_[at].parent != -1; at = entries_[at].parent)
      steps.push_back(TraceStep{entries_[at].first, entries_[at].second});
    std::reverse(steps.begin(), steps.end());
  }
  return Ref<Trace>(new MTSTrace(std::move(steps)));
}

Ref<Trace> MemoryTraceStore::createTrace(std::int32_t from, std::int32_t to) {
  std::vector<TraceStep> steps;
  if (to >= std::int32_t(entries_.size()))
    internalError("Invalid arguments in call to MemoryTraceStore::createTrace");
  if (from != to && to >= 0) {
    for (std::int32_t at = to; at != from; at = entries_[at].parent) {
      if (entries_[at].parent == -1)
        internalError("Invalid arguments in call to MemoryTraceStore::createTrace");
      steps.push_back(TraceStep{entries_[at].first, entries_[at].second});
    }
    std::reverse(steps.begin(), steps.end());
  }
  return Ref<Trace>(new MTSTrace(std::move(steps)));
}

Ref<Trace> NullTraceStore::createTrace(std::int32_t) { return Ref<Trace>(new NullTrace); }

Ref<Trace> NullTraceStore::createTrace(std::int32_t, std::int32_t) {
  return Ref<Trace>(new NullTrace);
}
