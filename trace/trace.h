// trace/trace.h: the trace store that records how explored states were reached, and the
// traces (forward iterators over transition steps) built from it.
#pragma once
#include <cstdint>
#include <vector>

#include "base/ref.h"
#include "model/transition.h"

// One step: a single transition uses only the second place, a synchronisation both.
struct TraceStep {
  Ref<Transition> first;
  Ref<Transition> second;
};

// A forward iterator over steps. Traces share their transitions by counted reference and stay
// valid after the store that built them is gone.
class Trace : public Object {
public:
  virtual void reset() = 0;                 // cursor to the first step
  virtual void next() = 0;                  // one step on; nothing at the end
  virtual std::int32_t length() const = 0;  // number of steps
  virtual TraceStep current() const = 0;    // the step under the cursor; empty at the end
  virtual bool atEnd() const = 0;           // cursor past the last step
};

// The trace a memory store builds: its steps in order from the start.
class MTSTrace : public Trace {
public:
  MTSTrace() = default;
  explicit MTSTrace(std::vector<TraceStep> steps) : steps_(std::move(steps)) {}

  void reset() override { cursor_ = 0; }
  void next() override {
    if (cursor_ < steps_.size()) ++cursor_;
  }
  std::int32_t length() const override { return std::int32_t(steps_.size()); }
  TraceStep current() const override {
    return cursor_ < steps_.size() ? steps_[cursor_] : TraceStep{};
  }
  bool atEnd() const override { return cursor_ >= steps_.size(); }

private:
  std::vector<TraceStep> steps_;
  std::size_t cursor_ = 0;
};

// No steps: always at its end.
class NullTrace : public Trace {
public:
  void reset() override {}
  void next() override {}
  std::int32_t length() const override { return 0; }
  TraceStep current() const override { return TraceStep{}; }
  bool atEnd() const override { return true; }
};

// The steps of a first trace followed by those of a second. Either part may be null, which
// counts as an empty trace. The parts are shared, so iterating one moves the other's cursor.
class ConcatTrace : public Trace {
public:
  ConcatTrace(Ref<Trace> head, Ref<Trace> tail);

  void reset() override;
  void next() override;
  std::int32_t length() const override;
  TraceStep current() const override;
  bool atEnd() const override;

private:
  // Moves the cursor from an exhausted first part to the second.
  void settle();

  Ref<Trace> head_;
  Ref<Trace> tail_;
  Trace* part_;  // the part under the cursor: head_, tail_ or null when both are empty
};

// Joins a path and its continuation.
Ref<Trace> concatTraces(Ref<Trace> head, Ref<Trace> tail);

// Records steps as a tree of back links; step indices are signed, -1 standing for none.
class TraceStore : public Object {
public:
  // Records a step (first may be null) whose source state was reached by step parent (-1 when
  // it leaves the start state); returns the new step's index. The transitions are borrowed
  // and the store takes its own counts.
  virtual std::int32_t addStep(Transition* first, Transition* second, std::int32_t parent) = 0;
  // The trace from the start state to the state reached by step to; empty for -1.
  virtual Ref<Trace> createTrace(std::int32_t to) = 0;
  // The trace from the state reached by step from to the state reached by step to; from must
  // be an ancestor of to (or equal to it).
  virtual Ref<Trace> createTrace(std::int32_t from, std::int32_t to) = 0;
  // Forgets every step, for an exploration that starts over; traces made before stay valid.
  virtual void clear() = 0;
};

// Keeps every step in an array in order of recording.
class MemoryTraceStore : public TraceStore {
public:
  std::int32_t addStep(Transition* first, Transition* second, std::int32_t parent) override;
  Ref<Trace> createTrace(std::int32_t to) override;
  Ref<Trace> createTrace(std::int32_t from, std::int32_t to) override;
  void clear() override { std::vector<Entry>().swap(entries_); }

  std::size_t stepCount() const { return entries_.size(); }

private:
  struct Entry {
    Ref<Transition> first;
    Ref<Transition> second;
    std::int32_t parent;
  };
  std::vector<Entry> entries_;
};

// Records nothing: exploration without traces costs no memory per step.
class NullTraceStore : public TraceStore {
public:
  std::int32_t addStep(Transition*, Transition*, std::int32_t) override { return -1; }
  Ref<Trace> createTrace(std::int32_t) override;
  Ref<Trace> createTrace(std::int32_t, std::int32_t) override;
  void clear() override {}
};
