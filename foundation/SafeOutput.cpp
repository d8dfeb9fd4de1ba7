#include "foundation/SafeOutput.h"

void SafeOutput::AddInput(const std::string& name, const std::string& what) {
  ids_.AddInput(name, what);
}

void SafeOutput::WatchInput(const std::string& name) {
  watched_.push_back(name);
  watches_.emplace_back();
  watches_.back().Start(name);
}

SafeOutput::Failure SafeOutput::Check(const std::string& target) {
  std::string name;
  return ids_.Clash(target, "output", &clash_, &name) ? kSameFile : kNone;
}

SafeOutput::Failure SafeOutput::Begin(const std::string& target) {
  const urdulex::internal::Status begun = output_.Begin(target);
  reason_ = begun.message();
  return begun.ok() ? kNone : kCannotCreate;
}

SafeOutput::Failure SafeOutput::CheckInputs() {
  for (size_t i = 0; i < watches_.size(); ++i) {
    if (!watches_[i].Unchanged()) return InputChanged(watched_[i]);
  }
  return kNone;
}

SafeOutput::Failure SafeOutput::InputChanged(const std::string& name) {
  changed_ = name;
  output_.Abandon();
  return kInputChanged;
}

SafeOutput::Failure SafeOutput::Commit(bool written) {
  reason_.clear();
  // Bytes of two versions of an input would pass for a good output.
  if (CheckInputs() != kNone) return kInputChanged;
  if (!written) {
    output_.Abandon();
    return kCannotWrite;
  }
  const urdulex::internal::Status committed = output_.Commit();
  reason_ = committed.message();
  if (committed.ok()) return kNone;
  return output_.direct() ? kCannotWrite : kCannotReplace;
}
