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
//
// With a prepare callback, the page after the one being handled, when it is
// waiting already, goes to `prepare` on a thread of its own meanwhile: what
// a page needs before it can print (loading, thinning) overlaps the printing
// of the page before, which alone leaves a processor idle. A page is
// prepared at most once, always before it is handled, never beside another
// prepare; the callback must handle a page whether it was prepared or not.
class PageQueue {
public:
    static constexpr size_t kMaxWaiting = 2;

    explicit PageQueue(PageCallback callback, PageCallback prepare = nullptr);
    ~PageQueue();
    PageQueue(const PageQueue&) = delete;
    PageQueue& operator=(const PageQueue&) = delete;

    void Post(const char* path);
    // Returns once every posted page has been handled.
    void Finish();

private:
    void Work();

    PageCallback m_pCallback;
    PageCallback m_pPrepare;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::deque<std::string> m_Waiting;
    bool m_bClosing = false;
    bool m_bInline = false;  // no thread could be started: pages are handled by the poster
    std::thread m_Thread;
};
