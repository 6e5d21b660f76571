#pragma once

#include <string>

// How the backup engine reports progress and asks questions. The backup and
// restore windows, the dravane command line and the tests implement it; the
// engine calls it from the thread that runs the engine.
class KWCallback {
public:
    virtual ~KWCallback() = default;

    // An error that ends the operation (the information-file errors of a restore).
    virtual void FatalError(const std::string& text) = 0;
    // An error of one file. true: stop the whole run; false: skip the file and go on.
    virtual bool ErrorOccurred(const std::string& text) = 0;
    // A newer file would be replaced by an older stored copy. true: replace it.
    virtual bool OverwriteFile(const std::string& folder, const std::string& name) = 0;
    // The engine is about to store or restore one file. false: stop the run.
    virtual bool NotifyCopyingFile(const std::string& folder, const std::string& name) = 0;
};
