// Runs one piece of work per file on a number of threads and hands the
// results back in the order the files came. At most a window of files is
// pending at once (queued, at work, or done and waiting for those before it),
// so memory does not grow with the number of files. The thread that submits
// is one of the workers: while the window is full it runs queued files
// itself, so n workers are n threads and never more than the cores asked for.
#pragma once

#include "FileReport.h"
#include "TreeWalk.h"

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class OrderedPool {
 public:
  struct Task {
    TreeWalk::Entry entry;
    FileReport report;
    std::string text;  // the report's line, made by the worker
  };
  // Runs on a worker thread; worker (0 to workers-1) tells the scratch
  // memory that thread may use.
  using Work = std::function<void(Task& task, size_t worker)>;
  // Runs on the thread that submits, in the order of submission.
  using Done = std::function<void(Task& task)>;

  // With one worker the work is done in Submit itself, without threads.
  // With n, n - 1 threads are started; the submitting thread is worker n - 1.
  OrderedPool(size_t workers, Work work, Done done);
  ~OrderedPool();
  OrderedPool(const OrderedPool&) = delete;
  OrderedPool& operator=(const OrderedPool&) = delete;

  void Submit(TreeWalk::Entry&& entry);
  // Waits for every file submitted and hands the rest back. A failure
  // thrown by the work (no memory) is thrown again here or in Submit.
  void Finish();

 private:
  enum class State { Free, Queued, Done };
  struct Slot {
    Task task;
    State state = State::Free;
  };

  void WorkerLoop(size_t worker);
  // Runs the next queued task on this thread. Called with lock held and a
  // task queued; unlocks around the work.
  void RunNext(std::unique_lock<std::mutex>& lock, size_t worker);
  // Makes room in the window: runs a queued task if there is one, else
  // waits for the head; then hands back what is done.
  void Drain(std::unique_lock<std::mutex>& lock);
  // Hands back the tasks done at the head of the window; with wait, waits
  // for the head first. Called with lock held; unlocks around done.
  void HandBack(std::unique_lock<std::mutex>& lock, bool wait);
  void Stop();

  Work m_work;
  Done m_done;
  std::vector<Slot> m_slots;  // the window, used as a ring
  size_t m_head = 0;          // the next task to hand back
  size_t m_nextToRun = 0;     // the next task a worker takes
  size_t m_tail = 0;          // the next task submitted
  size_t m_submitter = 0;     // the worker number of the submitting thread
  bool m_stopping = false;
  std::exception_ptr m_failure;
  std::mutex m_mutex;
  std::condition_variable m_queued;  // a task was queued, or the pool stops
  std::condition_variable m_headDone;
  std::vector<std::thread> m_threads;
};
