#pragma once

#include <atomic>

#include "Console.h"

class KMDevice;
class KXAppPaths;

namespace halvex::cli {

// What a command gets from start-up. Paths and drive are there for every
// command that needs Setup or Drive; a Needs::Nothing command gets neither.
class Context {
public:
    Context(Console& console, std::atomic<bool>& cancel) : m_console(console), m_cancel(cancel) {}

    Console& console() { return m_console; }
    std::atomic<bool>& cancel() { return m_cancel; }
    const KXAppPaths& paths() const { return *m_paths; }
    const KMDevice& drive() const { return *m_drive; }
    bool hasSetup() const { return m_paths != nullptr && m_drive != nullptr; }

    void setSetup(const KXAppPaths* paths, const KMDevice* drive)
    {
        m_paths = paths;
        m_drive = drive;
    }

private:
    Console& m_console;
    std::atomic<bool>& m_cancel;
    const KXAppPaths* m_paths = nullptr;
    const KMDevice* m_drive = nullptr;
};

}  // namespace halvex::cli
