#include "backup/BackupStrings.h"

namespace halvex {

namespace {

struct NumberedText {
    int number;
    const char* message;
    const char* explanation;
};

// The system's own English texts, spelling included: translated tables are
// keyed by them.
constexpr NumberedText kMessages[] = {
    {0, "Backup setup is complete. Would you like to proceed backup right now?",
     "You can backup the data right now by pressing 'YES'"},
    {1, "Are you sure?", "Press 'YES' if you want to proceed"},
    {2, "You must select path to backup folder",
     "Having no backup folder path assigned, the application is unable to backup your data"},
    {3, "No category is choosen", "At least one category must be checked in order to perform backup"},
    {4, "Category name contains an illegal symbol",
     "Category name can not contain the following symbols: \"<>||\\//*?:"},
    {5, "Category already exist. Please enter different name for category",
     "The name of category associated with a set of file extensions must be unique"},
    {6, "File type contains illegal symbol",
     "File type can only contain roman lowercase and uppercase symbols and digits"},
    {7, "Use colon symbol (':') as a\ndivider for file types.",
     "To associate the category with multiple file types, the types must be separated with the colon"},
    {8, "Multiple file types found!",
     "Each file type associated with the category must be unique, no duplicated file type declarations allowed"},
    {9, "It's not allowed to remove all file types!",
     "You must leave at lease on file type. If you want to remove all file types, delete a category instead"},
    {10, "File type contains an invalid symbol!", "Some of symbols you used are not allowed"},
    {11, "Backup process was canceled.",
     "Because you manualy canceled the backup procedure, some files were not backed up"},
    {12, "Do you want to continue this process?", "Press 'YES' to continue"},
    {13, "USB device volume path is not valid.",
     "The applicaton detected that the path to the volume that represents the USB device is either incorrect or "
     "empty"},
    {14, "Can't obtain valid user settings from  dictionary file.\nCheck user settings.",
     "The application is unable to obtain settings from the dictionary file. Re-configuration may solve the "
     "problem"},
    {15, "Not enough free space on USB drive to perform backup.",
     "Free some space on your USB drive and perform backup again"},
    {19, "Can't obtain valid restore path. Check restore path.",
     "The path to where you want restore fles to is either invalid or empty"},
    {20, "Do you want to restore selected files?",
     "Press 'YES' in order to restore selected files to the destination location"},
    {23, "Verification failed for volume ", nullptr},
    {24, "Terminate program and run disc check.", nullptr},
    {25, "No custom categories to edit!", "At least one custom category must exist"},
    {26, "All users categories has been deleted.",
     "From now on, only files of types declared in pre-defined categories will be backed up"},
    {27, "Field ''file type'' is empty.", " You must enter a value for this field"},
    {28, "Restore procedure completed..", "Selected files were successfully transferred to the destination folder"},
    {29, "Backup procedure completed.", "Files matching your backup criteria were successfully backed up"},
    {31, "is newer than existing file", nullptr},
    {32, "Do you want to overrite this file?", "Press 'YES to overwrite the file"},
    {33, "Please enter valid Backup Set name",
     "Backup Set name can not be empty of contain the following symbols: \"<>||\\//*?:"},
    {34, "Such folder exist. Please use another folder name.",
     "You must specify different Backup Set name because the folder with such name already exists"},
    {35, "Category Name is empty.", "The Category Name field can not contain an  empty string"},
    {36, "No files are selected to restore!", "You must select at least one file to restore"},
    {37, "Can not restore file(s) from this location!", "The application can not found the source file(s) to restore"},
    {38, "No  file(s) to backup.",
     "The application detected that currently you have no new files to backup.\nEither no files are matching the "
     "backup criteria, or all matching files are already backed up"},
    {39, "Can't open ini file for this BackupSet.",
     "The application is unable to open the supplementary ini file for current Backup Set"},
    {40, "Uncategorized file extension!", nullptr},
    {41, "Ini file for this BackupSet was not found.",
     "The application is unable to locate the supplementary ini file for current Backup Set"},
    {42, "Source folder \"", nullptr},
    {43, "\"not found", nullptr},
    {44, "Error moving file \"", nullptr},
    {45, "Error copying file \"", nullptr},
    {46, "Original Backup Folder can't be determined.",
     "The application is unable to detedrmine the path to the original backup folder"},
    {47, "\" to \"", nullptr},
    {48, "No backup folder is found on this device.",
     "This device does not seem to be ever used for backup because there is no Backup folder on it"},
    {49, "Invalid ini file for this BackupSet",
     "The application is unable to read the supplementary ini file for current Backup Set"},
    {50, "No categories are selected", "You must select at least one category to proceed"},
    // The texts below live only in the external table of the other build;
    // these are this edition's own, as in its English table.
    {30, "Unable to delete the profile file:", nullptr},
    {51, "The profile has not been deleted.", nullptr},
    {52, "This Backup Set name is already used by another profile.", nullptr},
    {53, "Do you want to delete the backup profile", nullptr},
    {54, "? Its Backup Set folder and every file backed up in it will be deleted.", nullptr},
    {55, "Unable to read the profile file:", nullptr},
    {56, "Unable to delete the Backup Set folder:", nullptr},
    {57, "The Backup Set folder could not be renamed: access is denied.", nullptr},
    {58, "The Backup Set folder could not be renamed: the name is not valid.", nullptr},
    {59, "The Backup Set folder could not be renamed.", nullptr},
    {60, "The Backup Set name can not contain a dot ('.').", nullptr},
    {61,
     "The profile is damaged: its Backup Set name is not a valid folder name. It is not used, and nothing is "
     "deleted for it.",
     "Create the profile again, or correct the Backup Set name in the profile file"},
    {62,
     "A folder of the backup on the drive is a link or not a folder. Nothing was written to it or deleted from "
     "it:",
     nullptr},
    {63,
     "Another file or folder here has the same name apart from upper and lower case, and the drive keeps such "
     "names as one. This one was not backed up, so that neither replaces the other:",
     nullptr},
    {64,
     "The drive's file system cannot hold this name (a character of \" * : < > ? \\ |, a dot or a space at its "
     "end, too long, or not UTF-8 text). It was not backed up:",
     nullptr},
    {65, "The Backup Set's information file could not be written, so restoring to the original folder may not work:",
     nullptr},
    {66, "The backed-up files could not be made durable on the drive (was it removed?). The backup did not complete.",
     nullptr},
    {67, "(damaged)", nullptr},
};

constexpr const char* kLabels[] = {
    "HalvexRestoreFiles",
    // One list of types on one line, so that no two literals join unseen.
    // clang-format off
    "html:htm:asp:jsp:doc:ppt:xls:xlt:dot:rtf:vsd:pdf:txt:log:hlp:chm:wdp:sxw:odt:wps:docx:dotx:docm:pot:pps:ppa:sxi:odp:pptx:pptm:ppsx:",
    // clang-format on
    "avi:ram:mpeg:mpg:mpa:mov:asf:wmv:rm:swf:",
    "mp3:wma:aac:m4a:m4p:aa:wav:aiff:asf:",
    "jpg:bmp:jpeg:gif:tiff:png:crw:cr2:nef:dcr:pef:raf:mrw:orf:x3f:",
    "Checking disk",
    "All",
    "Documents",
    "Movies",
    "Music",
    "Pictures",
    "Invalid path",
    "Last Backup was performed on",
    "Would you like to restore the files now?",
    "Please select a backup folder.",
    "Original backup folder",
    "Please select a Restore folder.",
    "Please select the destination folder first!",
    "Destination path: Desktop",
    "Destination path: Original Backup Folder",
    "Destination path:",
    "Filename",
    "Size",
    "Type",
    "Modified",
};

}  // namespace

BackupStrings::BackupStrings()
{
    for (const auto& entry : kMessages) {
        m_mapMessages[entry.number] = entry.message;
        if (entry.explanation)
            m_mapExplanations[entry.number] = entry.explanation;
    }
    int number = 0;
    for (const char* label : kLabels)
        m_mapLabels[number++] = label;
}

}  // namespace halvex
