#include "OrderedPool.h"

#include <utility>

namespace {

// Files in flight per worker: enough that a slow file (a large one, a slow
// disk) does not leave the others idle, few enough to stay small.
constexpr size_t kWindowPerWorker = 256;

}  // namespace

OrderedPool::OrderedPool(size_t workers, Work work, Done done)
    : m_work(std::move(work)), m_done(std::move(done)) {
  if (workers <= 1) {
    m_slots.resize(1);
    return;
  }
  m_slots.resize(workers * kWindowPerWorker);
  m_submitter = workers - 1;
  try {
    for (size_t i = 0; i < m_submitter; ++i) m_threads.emplace_back([this, i] { WorkerLoop(i); });
  } catch (...) {
    Stop();
    throw;
  }
}

OrderedPool::~OrderedPool() { Stop(); }

void OrderedPool::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_queued.notify_all();
  for (std::thread& t : m_threads) t.join();
  m_threads.clear();
}

void OrderedPool::Submit(TreeWalk::Entry&& entry) {
  if (m_threads.empty()) {
    Slot& slot = m_slots[0];
    slot.task = Task{std::move(entry), FileReport(), std::string()};
    m_work(slot.task, 0);
    m_done(slot.task);
    return;
  }
  std::unique_lock<std::mutex> lock(m_mutex);
  // A full window is let drain to half before more is queued: the threads
  // then wake once for many files, not once for each.
  if (m_tail - m_head == m_slots.size())
    while (m_tail - m_head > m_slots.size() / 2) Drain(lock);
  Slot& slot = m_slots[m_tail % m_slots.size()];
  slot.task = Task{std::move(entry), FileReport(), std::string()};
  slot.state = State::Queued;
  ++m_tail;
  lock.unlock();
  m_queued.notify_one();
  lock.lock();
  HandBack(lock, false);
}

void OrderedPool::Finish() {
  if (m_threads.empty()) return;
  std::unique_lock<std::mutex> lock(m_mutex);
  while (m_head != m_tail) Drain(lock);
}

void OrderedPool::Drain(std::unique_lock<std::mutex>& lock) {
  if (m_nextToRun != m_tail && !m_failure) RunNext(lock, m_submitter);
  HandBack(lock, m_nextToRun == m_tail);
}

void OrderedPool::HandBack(std::unique_lock<std::mutex>& lock, bool wait) {
  if (wait)
    m_headDone.wait(lock, [this] {
      return m_failure || m_slots[m_head % m_slots.size()].state == State::Done;
    });
  if (m_failure) std::rethrow_exception(m_failure);
  while (m_head != m_tail) {
    Slot& slot = m_slots[m_head % m_slots.size()];
    if (slot.state != State::Done) break;
    // No worker touches a task that is done: it is handed back unlocked.
    lock.unlock();
    m_done(slot.task);
    lock.lock();
    slot.state = State::Free;
    slot.task = Task();
    ++m_head;
  }
}

void OrderedPool::WorkerLoop(size_t worker) {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_queued.wait(lock, [this] { return m_stopping || m_nextToRun != m_tail; });
    if (m_stopping) return;
    RunNext(lock, worker);
  }
}

void OrderedPool::RunNext(std::unique_lock<std::mutex>& lock, size_t worker) {
  const size_t index = m_nextToRun++;
  Slot& slot = m_slots[index % m_slots.size()];
  lock.unlock();
  std::exception_ptr failure;
  try {
    m_work(slot.task, worker);
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  slot.state = State::Done;
  if (failure && !m_failure) m_failure = failure;
  if (index == m_head || failure) m_headDone.notify_one();
}
