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
// The drive lists no key to check packages with: it takes no update.
inline constexpr const char* kUpdateNotSetUpKey = "update_not_set_up";
// A package without a good signature by a key the drive lists.
inline constexpr const char* kUpdateRefusedKey = "update_refused";
// An offer of the drive's own version or an older one.
inline constexpr const char* kUpdateNotNewerKey = "update_not_newer";

}  // namespace halvex
