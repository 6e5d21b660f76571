#include <algorithm>
#include <cerrno>

#include "backup/BackupFileUtils.h"
#include "backup/BackupInfoFile.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"
#include "backup/ZipArchive.h"

using namespace halvex;
namespace bm = halvex::backup_message;

namespace {

// The stored file's name: the archive's name without its ".zip".
std::string StoredName(const std::string& archiveName)
{
    if (archiveName.size() > 4 && archiveName.compare(archiveName.size() - 4, 4, ".zip") == 0)
        return archiveName.substr(0, archiveName.size() - 4);
    return archiveName;
}

// The folders between base and the file's folder, each with a trailing "/";
// empty when the folder is not below base.
std::string RelativeFolders(const std::string& base, const std::string& folder)
{
    if (base.empty() || folder.size() <= base.size() || folder.compare(0, base.size(), base) != 0)
        return {};
    const std::string relative = folder.substr(base.size());
    // Never climb out of the destination, whatever the names of the set.
    for (const auto& part : std::filesystem::path(relative))
        if (part == "..")
            return {};
    return relative;
}

}  // namespace

void KWBackupManager::AddFileToRestorePool(const std::filesystem::path& archive)
{
    const std::string text = archive.string();
    if (std::find(m_vecRestorePool.begin(), m_vecRestorePool.end(), text) == m_vecRestorePool.end())
        m_vecRestorePool.push_back(text);
}

void KWBackupManager::SetRestoreBase(const std::filesystem::path& folder)
{
    m_strRestoreBase = folder.empty() ? std::string() : WithTrailingSlash(folder.string());
}

void KWBackupManager::report_fatal(int number)
{
    if (m_bReportErrors)
        m_callback.FatalError(message(number));
}

std::string KWBackupManager::ReadOriginalFolder(const std::filesystem::path& path)
{
    const InfoFileLookup lookup = ReadInfoFile(path);
    switch (lookup.result) {
    case InfoFileResult::Ok:
        return lookup.originalFolder;
    case InfoFileResult::NoGenerationFolder:
        report_fatal(bm::kNoOriginalFolder);
        break;
    case InfoFileResult::Missing:
        report_fatal(bm::kIniMissing);
        break;
    case InfoFileResult::Unopenable:
        report_fatal(bm::kIniUnopenable);
        break;
    case InfoFileResult::Invalid:
        report_fatal(bm::kIniInvalid);
        break;
    }
    return {};
}

bool KWBackupManager::ExistsOriginalBackupFolder(const std::filesystem::path& path)
{
    m_bReportErrors = false;
    const bool found = !ReadOriginalFolder(path).empty();
    m_bReportErrors = true;
    return found;
}

bool KWBackupManager::RestoreFromFilesPool(const std::filesystem::path& target)
{
    m_bCancel = false;
    m_nStored = m_nFailed = m_nSkipped = 0;
    const std::string targetText = target.empty() ? std::string() : WithTrailingSlash(target.string());

    for (const auto& entry : m_vecRestorePool) {
        if (m_bCancel)
            break;
        const std::string sourceFolder = ExtractPath(entry);
        const std::string name = ExtractFileName(entry);
        const std::string storedName = StoredName(name);

        std::string destinationFolder;
        if (targetText.empty()) {
            const std::string original = ReadOriginalFolder(entry);
            if (original.empty())
                return false;
            // A tree comes back as a tree: the folders between the generation
            // folder and the file are recreated below the original folder.
            const InfoFileLookup lookup = ReadInfoFile(entry);
            destinationFolder =
                original + RelativeFolders(WithTrailingSlash(lookup.generationFolder.string()), sourceFolder);
        } else {
            destinationFolder = targetText + RelativeFolders(m_strRestoreBase, sourceFolder);
        }

        if (!FileExists(entry)) {
            ++m_nFailed;
            if (report_error(message(bm::kErrorCopying) + entry + message(bm::kTo) + destinationFolder + storedName +
                             "\"\n" + ErrnoText(ENOENT))) {
                m_bCancel = true;
                break;
            }
            continue;
        }

        if (!FolderExists(destinationFolder)) {
            std::error_code error;
            std::filesystem::create_directories(destinationFolder, error);
            if (error) {
                ++m_nFailed;
                if (report_error(message(bm::kErrorCopying) + entry + message(bm::kTo) + destinationFolder +
                                 storedName + "\"\n" + error.message())) {
                    m_bCancel = true;
                    break;
                }
                continue;
            }
        }

        // The stored copy is compared with the file it would replace.
        const std::string destination = destinationFolder + storedName;
        if (std::filesystem::symlink_status(destination).type() != std::filesystem::file_type::not_found) {
            const int comparison = CompareFilesTime(entry, destination);
            if (comparison == 0) {
                ++m_nSkipped;
                continue;
            }
            if (comparison < 0 && !m_callback.OverwriteFile(destinationFolder, storedName)) {
                ++m_nSkipped;
                continue;
            }
        }

        if (!m_callback.NotifyCopyingFile(sourceFolder, name)) {
            m_bCancel = true;
            break;
        }
        const Status restored = CopyFileUnZip(destination, entry);
        if (!restored.ok) {
            ++m_nFailed;
            if (report_error(message(bm::kErrorCopying) + entry + message(bm::kTo) + destination + "\"" +
                             (restored.detail.empty() ? "" : "\n" + restored.detail))) {
                m_bCancel = true;
                break;
            }
            continue;
        }
        ++m_nStored;
    }
    return !m_bCancel;
}
