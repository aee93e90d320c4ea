#pragma once
// A child program that talks to its parent over its standard input and
// output: started with pipes on both, written to and read from with time
// limits, ended by its process id.
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <utility>
#include <vector>

namespace platform {

class PipeProcess {
public:
    PipeProcess() = default;
    ~PipeProcess();
    PipeProcess(const PipeProcess&) = delete;
    PipeProcess& operator=(const PipeProcess&) = delete;

    // Starts program with arguments; environment holds variables set on top
    // of this process's own ("NAME", "value"); a value of "\x01" removes the
    // variable. Standard error goes to the null device. False when the
    // program cannot be started.
    bool Start(const QString& program, const QStringList& arguments,
               const std::vector<std::pair<QByteArray, QByteArray>>& environment);

    bool IsStarted() const { return m_pid > 0; }
    qint64 ProcessId() const { return m_pid; }
    // True when the started child has ended (it is collected then).
    bool HasEnded();

    // Writes all bytes; false when the child no longer reads.
    bool Write(const void* data, std::size_t size);
    // Reads exactly size bytes, waiting at most limit for each piece; false on
    // end of output or when the time runs out.
    bool Read(void* data, std::size_t size, std::chrono::milliseconds limit);

    // Closes the pipes, gives the child grace to end on its own, then kills
    // it, and collects it.
    void Stop(std::chrono::milliseconds grace);

    // Kills the running child from any thread, without touching the pipes:
    // a Read or Write waiting on it in another thread fails at once, and
    // that thread ends the child with Stop as usual.
    void Interrupt();

private:
    qint64 m_pid = -1;
    int m_toChild = -1;
    int m_fromChild = -1;
    bool m_ended = false;
    std::atomic<qint64> m_runningPid{-1}; // read by Interrupt from other threads
};

} // namespace platform
