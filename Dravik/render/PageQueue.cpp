#include "PageQueue.h"

#include <system_error>

#include "Log.h"

PageQueue::PageQueue(PageCallback callback, PageCallback prepare) : m_pCallback(callback), m_pPrepare(prepare)
{
    if (!m_pCallback) return;
    try {
        m_Thread = std::thread(&PageQueue::Work, this);
    } catch (const std::system_error& error) {
        LogMessage(2, "No page handler thread (%s); pages are handled by the reader.\r\n", error.what());
        m_bInline = true;
    }
}

PageQueue::~PageQueue()
{
    Finish();
}

void PageQueue::Post(const char* path)
{
    if (!m_pCallback || !path) return;
    if (m_bInline) {
        m_pCallback(path);
        return;
    }
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [this] { return m_Waiting.size() < kMaxWaiting; });
    m_Waiting.emplace_back(path);
    m_Changed.notify_all();
}

void PageQueue::Finish()
{
    if (!m_Thread.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(m_Mutex);
        m_bClosing = true;
    }
    m_Changed.notify_all();
    m_Thread.join();
}

void PageQueue::Work()
{
    while (true) {
        std::string path, next;
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            m_Changed.wait(lock, [this] { return !m_Waiting.empty() || m_bClosing; });
            if (m_Waiting.empty()) return;
            path = std::move(m_Waiting.front());
            m_Waiting.pop_front();
            if (m_pPrepare && !m_Waiting.empty()) next = m_Waiting.front();
        }
        m_Changed.notify_all();
        std::thread preparing;
        if (!next.empty()) {
            try {
                preparing = std::thread(m_pPrepare, next.c_str());
            } catch (const std::system_error&) {
                // no thread to be had: the page is handled unprepared
            }
        }
        m_pCallback(path.c_str());
        if (preparing.joinable()) preparing.join();
    }
}
