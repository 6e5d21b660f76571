#pragma once

namespace halvex {

// The string-table keys of the update's messages, which the windows, the
// command line and the updater show for a failure's messageKey.
inline constexpr const char* kCheckUpdateNoConnectionKey = "check_update_no_conn";
// Every failed check but a missing connection, and a check without an offer.
inline constexpr const char* kCheckUpdateErrorKey = "check_update_err";
// The question asked for an offer, with its version.
inline constexpr const char* kCheckUpdateOfferKey = "check_update_avail";
inline constexpr const char* kDownloadErrorKey = "download_err";
inline constexpr const char* kUpdaterErrorKey = "updater_err";
inline constexpr const char* kUpdateFailKey = "update_fail";

}  // namespace halvex
