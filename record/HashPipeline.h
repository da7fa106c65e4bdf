#pragma once
// Hashing off the caller's thread. The copy loop hands every block it
// writes (and, for mutate, every raw block it reads) to a stream of its
// own; one worker thread hashes the blocks in the order they were given.
//
// Promises:
//   - a stream's digests are those of its blocks concatenated in submission
//     order (each stream must be fed from one thread at a time);
//   - submit() copies the bytes before it returns, so the caller may reuse
//     its buffer at once; unless it hands over their owner as well, which
//     is then held, and the bytes left untouched, until they are hashed;
//   - memory stays bounded: submit() waits while more than `maxQueuedBytes`
//     are waiting to be hashed (one block larger than that still passes,
//     alone);
//   - finish() waits for the stream's last block and gives its digests, or
//     the hashing library's error.
//
// Locking: one mutex guards the queue, the byte count, the buffer pool and
// the stream table. A stream's Hasher is touched by the worker only while
// it holds a block of that stream (pending > 0), and by finish() only once
// pending has dropped to 0 under the mutex; the mutex hand-off orders the
// two, so no Hasher is ever used by two threads at once. Block bytes are
// copied and hashed outside the mutex: a block belongs to the submitter
// until it is queued and to the worker after it is popped.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "support/Hasher.h"

namespace mdi {

class HashPipeline {
 public:
  using StreamId = std::uint64_t;
  static constexpr std::size_t kDefaultMaxQueuedBytes = 32u << 20;

  explicit HashPipeline(std::size_t maxQueuedBytes = kDefaultMaxQueuedBytes);
  // Hashes what is still queued, then stops the worker; streams never
  // finished are dropped. No call may be running on another thread by then.
  ~HashPipeline();
  HashPipeline(const HashPipeline&) = delete;
  HashPipeline& operator=(const HashPipeline&) = delete;

  // Starts a stream. False when that id is already open.
  bool open(StreamId stream, HashAlgos algos);
  // Queues bytes for the stream; waits while the queue is full. Without an
  // owner a copy is queued; with one, the bytes themselves, which must not
  // change while `owner` is held. False (nothing queued) when the stream is
  // not open.
  bool submit(StreamId stream, std::span<const std::byte> bytes, std::shared_ptr<const void> owner = {});
  // Waits until every block of the stream is hashed, closes the stream and
  // gives its digests. An error result when the stream is not open.
  HashResult finish(StreamId stream);

  // Bytes submitted and not yet hashed, for tests and the bench.
  std::size_t queuedBytes() const;

 private:
  struct Block {
    StreamId stream;
    std::vector<std::byte> copy;  // the bytes, when they were copied
    std::span<const std::byte> bytes;
    std::shared_ptr<const void> owner;  // owns `bytes` when they were not
  };
  struct Stream {
    Hasher hasher;
    std::size_t pending = 0;  // blocks queued or being hashed
  };

  void work(std::stop_token stop);
  std::vector<std::byte> takeBuffer(std::size_t size);

  const std::size_t m_maxQueuedBytes;
  mutable std::mutex m_mutex;
  std::condition_variable_any m_queued;  // the worker waits for blocks
  std::condition_variable m_progress;    // submit and finish wait for the worker
  std::deque<Block> m_queue;
  std::size_t m_queuedBytes = 0;
  std::vector<std::vector<std::byte>> m_pool;  // spent buffers, reused by submit
  std::map<StreamId, Stream> m_streams;        // node-based: pointers stay valid
  std::jthread m_worker;                       // last: starts after the rest exists
};

}  // namespace mdi
