// The event loop of programs without Qt: one queue per thread, filled by the mailboxes that
// thread created and emptied when it pumps.
#include "device/eventpump.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <utility>

namespace corvana::device {
namespace {

struct Loop {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::pair<const Mailbox::Impl*, std::function<void()>>> queue;

    // Runs what is queued now, one piece at a time, so that a mailbox destroyed by one piece
    // takes its remaining work out of the queue; work posted meanwhile waits for the next round.
    void runPending() {
        size_t n;
        {
            std::lock_guard lock(m);
            n = queue.size();
        }
        for (; n > 0; --n) {
            std::function<void()> work;
            {
                std::lock_guard lock(m);
                if (queue.empty())
                    return;
                work = std::move(queue.front().second);
                queue.pop_front();
            }
            if (work)
                work();
        }
    }
};

std::shared_ptr<Loop>& threadLoop() {
    thread_local std::shared_ptr<Loop> loop = std::make_shared<Loop>();
    return loop;
}

} // namespace

struct Mailbox::Impl {
    std::shared_ptr<Loop> loop = threadLoop();
};

Mailbox::Mailbox() : d_(std::make_unique<Impl>()) {}

Mailbox::~Mailbox() {
    // Only the owner destroys a mailbox, so nothing of it runs concurrently.
    std::lock_guard lock(d_->loop->m);
    auto& q = d_->loop->queue;
    for (auto it = q.begin(); it != q.end();)
        it = it->first == d_.get() ? q.erase(it) : it + 1;
}

void Mailbox::post(std::function<void()> work) {
    {
        std::lock_guard lock(d_->loop->m);
        d_->loop->queue.emplace_back(d_.get(), std::move(work));
    }
    d_->loop->cv.notify_all();
}

struct ProgramLoop::Impl {};

ProgramLoop::ProgramLoop(int&, char**) {}
ProgramLoop::~ProgramLoop() = default;

namespace pump {

bool available() {
    return true;
}

void processEvents() {
    threadLoop()->runPending();
}

void processEventsFor(std::optional<Millis> limit) {
    Loop& loop = *threadLoop();
    {
        std::unique_lock lock(loop.m);
        const auto ready = [&] { return !loop.queue.empty(); };
        if (limit)
            loop.cv.wait_for(lock, *limit, ready);
        else
            loop.cv.wait(lock, ready);
    }
    loop.runPending();
}

void warn(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace pump
} // namespace corvana::device
