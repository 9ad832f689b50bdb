#pragma once

#include <QThread>

#include <functional>
#include <memory>

// A thread running one piece of work, started at once. Going out of scope joins it, so that a
// failed check that returns early leaves no thread behind on the test's locals; one that does not
// end within 15 s is let go rather than destroyed while it runs.
class WorkerThread final
{
public:
    explicit WorkerThread(std::function<void()> work)
        : m_thread(QThread::create(std::move(work)))
    {
        m_thread->start();
    }
    ~WorkerThread()
    {
        if (!m_thread->wait(15000))
            (void)m_thread.release();
    }
    WorkerThread(const WorkerThread &) = delete;
    WorkerThread &operator=(const WorkerThread &) = delete;

    bool wait(int milliseconds = 10000) { return m_thread->wait(milliseconds); }
    bool isFinished() const { return m_thread->isFinished(); }
    QThread *thread() const { return m_thread.get(); }

private:
    std::unique_ptr<QThread> m_thread;
};
