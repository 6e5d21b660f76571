#include "UpdaterStrings.h"

#include <QFile>

#include "strings/LanguageChoice.h"
#include "util/IgnoreResult.h"

namespace halvex {

namespace {

bool LoadFolder(StringTable& table, const std::string& folder)
{
    QFile file(QString::fromStdString(":/strings/" + folder + ".lproj/Localizable.strings"));
    if (folder.empty() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    return table.LoadText(std::string_view(text.constData(), static_cast<std::size_t>(text.size()))).ok;
}

}  // namespace

StringTable LoadUpdaterStrings()
{
    StringTable table;
    const std::string folder = LanguageFolderForId(ChooseLanguageId(LocaleEnvironment::FromProcess()));
    if (!LoadFolder(table, folder))
        IgnoreResult(LoadFolder(table, "English"),
                     "without any table the updater shows its keys, which still name the step");
    return table;
}

}  // namespace halvex
