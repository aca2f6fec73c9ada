#include "pipeline.h"

#include <chrono>

namespace korvi_cli {

Pipeline::Pipeline(unsigned workers, size_t max_in_flight, Work work, Write write, Tick tick)
    : work_(std::move(work)), write_(std::move(write)), tick_(std::move(tick)), results_(max_in_flight) {
  try {
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { work_loop(); });
    writer_ = std::thread([this] { write_loop(); });
  } catch (...) {
    close();
    throw;
  }
}

Pipeline::~Pipeline() { close(); }

bool Pipeline::submit(std::unique_ptr<Batch> batch) {
  std::unique_lock lock(mutex_);
  slot_free_.wait(lock, [&] { return in_flight_ < results_.size() || failure_; });
  if (failure_) return false;
  batch->seq = next_seq_++;
  ++in_flight_;
  queue_.push_back(std::move(batch));
  work_ready_.notify_one();
  return true;
}

std::unique_ptr<Batch> Pipeline::spare() {
  std::lock_guard lock(mutex_);
  if (spares_.empty()) return nullptr;
  auto batch = std::move(spares_.back());
  spares_.pop_back();
  return batch;
}

void Pipeline::finish() {
  close();
  if (failure_) std::rethrow_exception(failure_);
}

void Pipeline::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  work_ready_.notify_all();
  result_ready_.notify_all();
  for (auto& t : workers_)
    if (t.joinable()) t.join();
  if (writer_.joinable()) writer_.join();
}

void Pipeline::fail(std::exception_ptr failure) {
  std::lock_guard lock(mutex_);
  if (!failure_) failure_ = failure;
  slot_free_.notify_all();
}

void Pipeline::work_loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [&] { return !queue_.empty() || closed_; });
    if (queue_.empty()) return;
    auto batch = std::move(queue_.front());
    queue_.pop_front();
    bool skip = failure_ != nullptr;
    lock.unlock();
    if (!skip) {
      try {
        work_(*batch);
      } catch (...) {
        fail(std::current_exception());
      }
    }
    lock.lock();
    uint64_t seq = batch->seq;
    results_[seq % results_.size()] = std::move(batch);
    if (seq == next_to_write_) result_ready_.notify_one();
  }
}

void Pipeline::write_loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    auto& slot = results_[next_to_write_ % results_.size()];
    if (slot) {
      auto batch = std::move(slot);
      bool skip = failure_ != nullptr;
      lock.unlock();
      if (!skip) {
        try {
          write_(*batch);
          tick_();
        } catch (...) {
          fail(std::current_exception());
        }
      }
      lock.lock();
      ++next_to_write_;
      --in_flight_;
      spares_.push_back(std::move(batch));
      slot_free_.notify_one();
      continue;
    }
    if (closed_ && in_flight_ == 0) return;
    // Wakes up now and then to keep the progress bar moving on slow batches.
    if (result_ready_.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout) {
      lock.unlock();
      try {
        tick_();
      } catch (...) {
        fail(std::current_exception());
      }
      lock.lock();
    }
  }
}

}  // namespace korvi_cli
