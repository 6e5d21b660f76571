#pragma once

#include <chrono>
#include <string>

#include "DriveAnswer.h"
#include "util/Result.h"

namespace halvex {

// Asks the user through the desktop's notification service
// (org.freedesktop.Notifications on the session bus) whether to start the
// suite from a drive that is not trusted. The agent links no D-Bus library:
// the questions go through the `gdbus` tool (under `stdbuf`, for its lines
// to arrive as written), one call per request and one monitor for the answer. Blocks the calling thread until the user
// answers, the notification is closed, `limit` passes or stopDescriptor turns readable.
class NotificationQuestion {
public:
    struct Texts {
        std::string application;  // the sender's name
        std::string summary;
        std::string body;  // plain text; escaped when the service reads markup
        std::string start;
        std::string always;
        std::string notNow;
    };

    NotificationQuestion(std::chrono::milliseconds limit, int stopDescriptor);

    // kNoQuestionKey when no service answers or it offers no actions; the
    // detail says which.
    Result<DriveAnswer> Ask(const Texts& texts) const;

    // The answer carried by one line of `gdbus monitor` about notification
    // `id`: an action or the closing of it; nothing for any other line.
    enum class Signal { None, Start, Always, NotNow, Closed };
    static Signal SignalOf(const std::string& line, unsigned id);
    // A text as a GVariant string literal, as gdbus reads its arguments.
    static std::string Quoted(const std::string& text);
    // &, < and > as entities, for a service that reads its body as markup.
    static std::string EscapeMarkup(const std::string& text);

    static constexpr const char* kStartAction = "start";
    static constexpr const char* kAlwaysAction = "always";
    static constexpr const char* kNotNowAction = "not-now";

private:
    std::chrono::milliseconds m_limit;
    int m_stopDescriptor;
};

}  // namespace halvex
