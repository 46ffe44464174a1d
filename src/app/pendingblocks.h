#pragma once

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <future>
#include <memory>
#include <utility>

// The blocks of a dump being formatted on other threads, oldest first, each
// with the length of its output to come. The threads are the pool's own, made
// once for the dump rather than once a block: a thread a block cost GB text's
// dump about a twentieth of its time (measured), and each new thread found the
// byte classes and tables it looks up cold. Going out of scope, also by an
// exception, it waits for every task still running, so that none writes into
// a block whose buffer is gone: declare it after the blocks.
template <typename Block>
struct CPendingBlocks : std::deque<std::pair<Block*, std::future<std::size_t>>> {
    CPendingBlocks() = default;
    CPendingBlocks(const CPendingBlocks&) = delete;
    CPendingBlocks& operator=(const CPendingBlocks&) = delete;
    ~CPendingBlocks()
    {
        for (auto& block : *this)
            block.second.wait();
    }

    // How many blocks to format ahead of the output: two for each processor
    // the process may run on (as the pool counts them), up to eight, and one
    // alone when it may run on one, so that the same block's buffers, warm in
    // the caches, take every part of the file.
    static std::size_t Ahead()
    {
        const int nThreads = QThread::idealThreadCount();
        return nThreads <= 1 ? 1 : std::size_t(std::min(8, 2 * nThreads));
    }

    // Whether Start formats each block at once on the calling thread (below).
    bool FormatsAtOnce() const { return m_pool.maxThreadCount() <= 1; }

    // Queues the block, formatted by format() on a thread of the pool, which
    // returns the length of its output. When the process may run on one
    // processor only (the pool counts those its affinity allows), the block is
    // formatted at once on this thread: a pool's thread there only added two
    // switches between threads a block, and the dump on one core took a tenth
    // longer for ASCII and GB text (measured).
    template <typename F>
    void Start(Block* pBlock, F format)
    {
        auto task = std::make_shared<std::packaged_task<std::size_t()>>(std::move(format));
        this->emplace_back(pBlock, task->get_future());
        if (FormatsAtOnce())
            (*task)();
        else
            m_pool.start([task] { (*task)(); });
    }

private:
    QThreadPool m_pool;
};
