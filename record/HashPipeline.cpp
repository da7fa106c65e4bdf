#include "record/HashPipeline.h"

#include <algorithm>
#include <cstring>

namespace mdi {

HashPipeline::HashPipeline(std::size_t maxQueuedBytes)
    : m_maxQueuedBytes(std::max<std::size_t>(maxQueuedBytes, 1)),
      m_worker([this](std::stop_token stop) { work(stop); }) {}

HashPipeline::~HashPipeline() {
  m_worker.request_stop();
  m_worker.join();
}

bool HashPipeline::open(StreamId stream, HashAlgos algos) {
  std::lock_guard lock(m_mutex);
  return m_streams.try_emplace(stream, Stream{Hasher(algos), 0}).second;
}

std::vector<std::byte> HashPipeline::takeBuffer(std::size_t size) {
  // Called with the mutex held. Any spent buffer will do: resize() within
  // its capacity does not allocate, and the copy overwrites every byte.
  std::vector<std::byte> buf;
  if (!m_pool.empty()) {
    buf = std::move(m_pool.back());
    m_pool.pop_back();
  }
  buf.resize(size);
  return buf;
}

bool HashPipeline::submit(StreamId stream, std::span<const std::byte> bytes, std::shared_ptr<const void> owner) {
  Block block{stream, {}, bytes, std::move(owner)};
  {
    std::unique_lock lock(m_mutex);
    m_progress.wait(lock, [&] { return m_queuedBytes == 0 || m_queuedBytes + bytes.size() <= m_maxQueuedBytes; });
    const auto it = m_streams.find(stream);
    if (it == m_streams.end()) return false;
    // Counted now so that finish() waits for this block even while it is
    // still being copied below.
    ++it->second.pending;
    m_queuedBytes += bytes.size();
    if (!block.owner) block.copy = takeBuffer(bytes.size());
  }
  if (!block.owner) {
    if (!bytes.empty()) std::memcpy(block.copy.data(), bytes.data(), bytes.size());
    block.bytes = block.copy;
  }
  {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(block));
  }
  m_queued.notify_one();
  return true;
}

HashResult HashPipeline::finish(StreamId stream) {
  std::unique_lock lock(m_mutex);
  auto it = m_streams.find(stream);
  if (it == m_streams.end()) return {{}, "hash stream " + std::to_string(stream) + " is not open"};
  m_progress.wait(lock, [&] { return it->second.pending == 0; });
  Hasher hasher = std::move(it->second.hasher);
  m_streams.erase(it);
  lock.unlock();
  return hasher.finish();
}

std::size_t HashPipeline::queuedBytes() const {
  std::lock_guard lock(m_mutex);
  return m_queuedBytes;
}

void HashPipeline::work(std::stop_token stop) {
  std::unique_lock lock(m_mutex);
  while (m_queued.wait(lock, stop, [&] { return !m_queue.empty(); })) {
    Block block = std::move(m_queue.front());
    m_queue.pop_front();
    // The stream cannot go away while this block is pending (see header).
    Hasher& hasher = m_streams.at(block.stream).hasher;
    lock.unlock();
    hasher.update(block.bytes);  // a failure sticks in the Hasher; finish() reports it
    // The caller's memory goes back before the block counts as hashed, and
    // outside the mutex: its owner may hand it to a pool of its own.
    block.owner.reset();
    lock.lock();
    --m_streams.at(block.stream).pending;
    m_queuedBytes -= block.bytes.size();
    if (!block.copy.empty()) m_pool.push_back(std::move(block.copy));
    m_progress.notify_all();
  }
}

}  // namespace mdi
