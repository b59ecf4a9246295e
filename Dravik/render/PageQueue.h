#pragma once
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "GhostScript.h"

// Hands finished page files to the page callback on a thread of its own, so
// that Ghostscript and the reader go on rendering while a page prints. The
// callback sees the pages one at a time and in order; at most kMaxWaiting
// pages wait on disk before the reader is held up.
class PageQueue {
public:
    static constexpr size_t kMaxWaiting = 2;

    explicit PageQueue(PageCallback callback);
    ~PageQueue();
    PageQueue(const PageQueue&) = delete;
    PageQueue& operator=(const PageQueue&) = delete;

    void Post(const char* path);
    // Returns once every posted page has been handled.
    void Finish();

private:
    void Work();

    PageCallback m_pCallback;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::deque<std::string> m_Waiting;
    bool m_bClosing = false;
    bool m_bInline = false;  // no thread could be started: pages are handled by the poster
    std::thread m_Thread;
};
