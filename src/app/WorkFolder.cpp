// The working folder options, the folder remembered for the menu entry
// (QSettings, key "cartella"; asked with a QFileDialog when missing or moved)
// and Qt's own texts in Italian.
#include "app/WorkFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>
#include <filesystem>
#include <system_error>

#include "core/FileNames.h"
#include "platform/NativePath.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolderKey = "cartella";

constexpr const char* kFolderUsage =
    "velmora --cartella CARTELLA [export ... | check ...]\n"
    "velmora --ultima-cartella\n"
    "velmora --version\n";

QSettings rememberedSettings() {
    return QSettings(QStringLiteral("velmora"), QStringLiteral("velmora"));
}

bool holdsSettings(const QString& dir) {
    std::error_code ec;
    return !dir.isEmpty() && fs::is_regular_file(NativePath(dir.toStdString()) / kSettingsFile, ec);
}

int usageError(std::ostream& err, const std::string& problem) {
    err << "velmora: " << problem << "\n\nUso:\n" << kFolderUsage;
    err.flush();
    return kExitUsage;
}

}  // namespace

bool enterFolder(const std::string& dir, std::ostream& err) {
    std::error_code ec;
    const char* problem = nullptr;
    const fs::path path = NativePath(dir);
    if (!fs::exists(path, ec))
        problem = "la cartella non esiste";
    else if (!fs::is_directory(path, ec))
        problem = "non è una cartella";
    else if (fs::current_path(path, ec); ec)
        problem = "cartella non accessibile";
    if (!problem) return true;
    err << "velmora: " << problem << ": \"" << dir << "\"\n";
    err.flush();
    return false;
}

FolderStart takeFolderOptions(std::vector<std::string>& args, std::ostream& err) {
    FolderStart start;
    if (args.empty()) return start;
    const std::string& first = args[0];
    if (first == "--ultima-cartella") {
        if (args.size() > 1)
            start.exitStatus = usageError(err, "--ultima-cartella non vuole altri argomenti");
        start.askForFolder = true;
        args.clear();
        return start;
    }
    std::string dir;
    std::size_t taken = 0;
    if (first == "--cartella") {
        if (args.size() < 2 || args[1].empty()) {
            start.exitStatus = usageError(err, "manca la cartella dopo --cartella");
            return start;
        }
        dir = args[1];
        taken = 2;
    } else if (first.rfind("--cartella=", 0) == 0) {
        dir = first.substr(11);
        taken = 1;
        if (dir.empty()) {
            start.exitStatus = usageError(err, "manca la cartella dopo --cartella");
            return start;
        }
    } else {
        return start;
    }
    if (!enterFolder(dir, err)) start.exitStatus = kExitFailed;
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(taken));
    return start;
}

BatchCommand makeVersionCommand(std::string version) {
    struct Arguments {
        bool help = false;
    };
    return makeBatchCommand<Arguments>(
        "--version", "velmora --version\n    Mostra la versione del programma.\n", kExitCompleted,
        [](const std::vector<std::string>& args, std::string& error) -> std::optional<Arguments> {
            if (args.empty()) return Arguments{};
            error = "argomento non previsto \"" + args[0] + "\"";
            return std::nullopt;
        },
        [version](const Arguments&, std::ostream& out, std::ostream&) {
            out << "velmora " << version << '\n';
            out.flush();
            return kExitCompleted;
        });
}

bool enterRememberedFolder(Dialogs& dialogs) {
    const QString remembered = rememberedSettings().value(kFolderKey).toString();
    QString dir = remembered;
    QString start = remembered.isEmpty() ? QDir::homePath() : remembered;
    while (!holdsSettings(dir)) {
        dir = QFileDialog::getExistingDirectory(
            nullptr, QStringLiteral("Scegliere la cartella dell'albergo (quella con QLBSetup.txt)"),
            start);
        if (dir.isEmpty()) return false;
        if (holdsSettings(dir)) break;
        dialogs.MsgBox("La cartella " + QDir::toNativeSeparators(dir).toStdString() +
                           " non contiene il file " + kSettingsFile +
                           ": scegliere la cartella dell'albergo.",
                       kStyleExclamation, "Cartella dell'albergo");
        start = dir;
    }
    return QDir::setCurrent(dir);
}

bool installQtItalian() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_it"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

void rememberWorkFolder() {
    const QString dir = QDir::currentPath();
    if (holdsSettings(dir)) rememberedSettings().setValue(kFolderKey, dir);
}

}  // namespace velmora
