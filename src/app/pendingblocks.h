#pragma once

#include <cstddef>
#include <deque>
#include <future>
#include <utility>

// The blocks of a dump being formatted on other threads, oldest first, each
// with the length of its output to come. Going out of scope, also by an
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
};
