#pragma once
// Read buffers that others may go on holding: each is handed out as a
// shared pointer and comes back to the pool when its last holder lets go,
// on whichever thread that is. So a block whose bytes are still being
// hashed is never read into again, and a run of reads reuses the same few
// buffers instead of allocating one each time.
//
// Locking: one mutex guards the free list; a buffer given back under it
// happens before it is handed out again.
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/linux/AlignedBuffer.h"

namespace mdi {

class BufferPool : public std::enable_shared_from_this<BufferPool> {
 public:
  // A buffer of at least n bytes, held by nobody else.
  std::shared_ptr<AlignedBuffer> take(std::size_t n) {
    std::unique_ptr<AlignedBuffer> b;
    {
      std::lock_guard lock(m_mutex);
      if (!m_free.empty()) {
        b = std::move(m_free.back());
        m_free.pop_back();
      }
    }
    if (!b) b = std::make_unique<AlignedBuffer>();
    b->reserve(n);
    // Outlives the pool safely: a buffer let go after the pool is gone is freed.
    return {b.release(), [pool = weak_from_this()](AlignedBuffer* p) {
              std::unique_ptr<AlignedBuffer> owned(p);
              if (const auto alive = pool.lock()) alive->giveBack(std::move(owned));
            }};
  }

 private:
  void giveBack(std::unique_ptr<AlignedBuffer> b) {
    std::lock_guard lock(m_mutex);
    m_free.push_back(std::move(b));
  }
  std::mutex m_mutex;
  std::vector<std::unique_ptr<AlignedBuffer>> m_free;
};

}  // namespace mdi
