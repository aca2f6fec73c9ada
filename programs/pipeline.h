// Worker threads with ordered output: batches go to the workers in input
// order, and one writer thread takes them back in that same order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>
#include <deque>

#include "readers.h"

namespace korvi_cli {

class Pipeline {
 public:
  using Work = std::function<void(Batch&)>;   // on a worker thread
  using Write = std::function<void(Batch&)>;  // on the writer thread, in input order
  using Tick = std::function<void()>;         // on the writer thread, at least 10 times a second

  // At most max_in_flight batches are read but not yet written at any time,
  // so memory stays bounded whatever the size of the input.
  Pipeline(unsigned workers, size_t max_in_flight, Work work, Write write, Tick tick);
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // Numbers the batch and queues it; blocks while max_in_flight batches are
  // unwritten. False once a worker or the writer has failed.
  bool submit(std::unique_ptr<Batch> batch);
  // A batch already written, for reuse of its storage; null when none.
  std::unique_ptr<Batch> spare();
  // Waits until every batch is written and the threads have ended; throws
  // the first failure of a worker or of the writer.
  void finish();

 private:
  void work_loop();
  void write_loop();
  void fail(std::exception_ptr failure);
  void close();

  Work work_;
  Write write_;
  Tick tick_;
  std::mutex mutex_;
  std::condition_variable work_ready_, result_ready_, slot_free_;
  std::deque<std::unique_ptr<Batch>> queue_;
  std::vector<std::unique_ptr<Batch>> results_;  // by seq modulo capacity
  std::vector<std::unique_ptr<Batch>> spares_;
  size_t in_flight_ = 0;
  uint64_t next_seq_ = 0, next_to_write_ = 0;
  bool closed_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> workers_;
  std::thread writer_;
};

}  // namespace korvi_cli
