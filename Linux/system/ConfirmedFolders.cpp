#include "system/ConfirmedFolders.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace halvex {

namespace {

constexpr std::size_t kFieldCount = 7;
constexpr std::size_t kMaxField = 4096;

const char* UseName(ConfirmedFolders::Use use)
{
    return use == ConfirmedFolders::Use::Backup ? "backup" : "sync";
}

bool SameKey(const ConfirmedFolders::Entry& entry, ConfirmedFolders::Use use, const DriveIdentity& drive,
             std::string_view name)
{
    return entry.use == use && entry.drive.SameDrive(drive) && entry.name == name;
}

bool ParseLine(std::string_view line, ConfirmedFolders::Entry& entry)
{
    const std::optional<std::vector<std::string>> split = RecordFile::SplitLine(line, kFieldCount, kMaxField);
    if (!split)
        return false;
    const std::vector<std::string>& fields = *split;
    if ((fields[0] != "backup" && fields[0] != "sync") || fields[6].empty() || fields[6].front() != '/')
        return false;
    entry.use = fields[0] == "backup" ? ConfirmedFolders::Use::Backup : ConfirmedFolders::Use::Sync;
    entry.drive = DriveIdentity{fields[1], fields[2], fields[3], fields[4], {}};
    entry.name = fields[5];
    entry.folder = fields[6];
    return true;
}

}  // namespace

fs::path ConfirmedFolders::DefaultFile()
{
    return RecordFile::DefaultPath("confirmed-folders");
}

ConfirmedFolders::ConfirmedFolders(fs::path file) : m_record(std::move(file), kMaxBytes, kDamagedKey, kWriteErrorKey) {}

std::string ConfirmedFolders::FolderKey(const fs::path& folder)
{
    std::string text = folder.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

std::string ConfirmedFolders::Format(const std::vector<Entry>& entries)
{
    std::string text(kHeader);
    text += '\n';
    for (const Entry& e : entries)
        text += std::string(UseName(e.use)) + '\t' + e.drive.vendorId + '\t' + e.drive.productId + '\t' +
                e.drive.serial + '\t' + e.drive.uuid + '\t' + e.name + '\t' + e.folder + '\n';
    return text;
}

Result<std::vector<ConfirmedFolders::Entry>> ConfirmedFolders::Parse(std::string_view text)
{
    using Entries = Result<std::vector<Entry>>;
    std::vector<Entry> entries;
    bool sawHeader = false;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        ++number;
        if (line.empty())
            continue;
        if (!sawHeader) {
            if (line != kHeader)
                return Entries::Fail(kDamagedKey, "no header");
            sawHeader = true;
            continue;
        }
        Entry entry;
        if (!ParseLine(line, entry))
            return Entries::Fail(kDamagedKey, "line " + std::to_string(number));
        if (entries.size() == kMaxEntries)
            return Entries::Fail(kDamagedKey, "more than " + std::to_string(kMaxEntries) + " entries");
        entries.push_back(std::move(entry));
    }
    if (!sawHeader)
        return Entries::Fail(kDamagedKey, "no header");
    return Entries::Ok(std::move(entries));
}

Result<std::vector<ConfirmedFolders::Entry>> ConfirmedFolders::Load() const
{
    using Entries = Result<std::vector<Entry>>;
    const Result<std::optional<std::string>> text = m_record.Read();
    if (!text)
        return Entries::From(text.status());
    if (!text.value())
        return Entries::Ok({});
    return Parse(*text.value());
}

bool ConfirmedFolders::Has(Use use, const DriveIdentity& drive, std::string_view name, const fs::path& folder) const
{
    const Result<std::vector<Entry>> entries = Load();
    if (!entries)
        return false;
    const std::string key = FolderKey(folder);
    return std::any_of(entries.value().begin(), entries.value().end(),
                       [&](const Entry& e) { return SameKey(e, use, drive, name) && e.folder == key; });
}

Status ConfirmedFolders::Record(Use use, const DriveIdentity& drive, std::string_view name, const fs::path& folder)
{
    Entry entry{use, DriveIdentity{drive.vendorId, drive.productId, drive.serial, drive.uuid, {}}, std::string(name),
                FolderKey(folder)};
    for (const std::string* field : {&entry.drive.vendorId, &entry.drive.productId, &entry.drive.serial,
                                     &entry.drive.uuid, &entry.name, &entry.folder})
        if (RecordFile::HasControlCharacter(*field) || field->size() > kMaxField)
            return Status::Fail(kWriteErrorKey, "a name that cannot be recorded");
    if (entry.folder.empty() || entry.folder.front() != '/')
        return Status::Fail(kWriteErrorKey, "not an absolute folder");

    // A damaged file is replaced: it recorded nothing that counts.
    Result<std::vector<Entry>> loaded = Load();
    std::vector<Entry> entries = loaded ? std::move(loaded).value() : std::vector<Entry>{};
    // Every folder the user confirmed stays confirmed: one drive may go
    // with several folders, as a set may be backed up from a moved folder.
    const std::string key = entry.folder;
    std::erase_if(entries, [&](const Entry& e) { return SameKey(e, use, drive, name) && e.folder == key; });
    // The oldest records make room: losing one only brings its question back.
    if (entries.size() >= kMaxEntries)
        entries.erase(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(entries.size() - kMaxEntries + 1));
    entries.push_back(std::move(entry));

    return m_record.Write(Format(entries));
}

}  // namespace halvex
