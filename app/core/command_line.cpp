#include "app/core/command_line.h"

#include "support/ascii.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/paths.h"

namespace quenrix {
namespace {

constexpr const char* kUsage =
    "Usage: quenrix [INPUT...] [/NOTDEL] [/NLOG] [/MANIFEST=FILE]\n"
    "Repairs GPS receiver files (SIG, RMG, RM0-RM5) after a week-number rollover.\n"
    "Without an INPUT it shows the wizard. Each INPUT (a file, a wildcard mask such\n"
    "as *.SIG, or a folder) is converted at once and the window closes (automatic\n"
    "mode); the corrected files go beside their inputs.\n"
    "  /NOTDEL   keep the inputs (by default each is deleted once its corrected\n"
    "            file is on disk)\n"
    "  /NLOG     write no operation log (quenrix.log in the current folder)\n"
    "  /MANIFEST=FILE  append a JSON line per file to FILE: both files' SHA-256\n"
    "            and the records whose times moved (quenrix-cli verify and undo\n"
    "            read it); an input goes only once its line is written\n"
    "  --help    this text (also -h and /?); --version: the version\n"
    "Exit status of automatic mode: 0 when every file was corrected or needed no\n"
    "correction; 1 when a file failed or an input named no file (each said on\n"
    "standard error, with its reason, and a last line with the counts); 3 when\n"
    "another copy runs; 130 after an interrupt.\n";

constexpr const char* kVersion = "quenrix 1.0\n";

}  // namespace

CommandLine ReadArguments(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string option = UpperAscii(arguments[i]);
        constexpr std::string_view kManifest = "/MANIFEST=";
        const bool manifest =
            option.size() > kManifest.size() && option.compare(0, kManifest.size(), kManifest) == 0;
        const bool isOption =
            option == "/NOTDEL" || option == "/NLOG" || option == "/DEBUG" || manifest;
        if (manifest && i > 0)
            line.manifest = arguments[i].substr(kManifest.size());
        if (option == "/NOTDEL")
            line.deleteInputs = false;
        else if (option == "/NLOG")
            line.log = false;
        // The first argument is the input even when it looks like an option.
        if (i == 0 || !isOption)
            line.inputs.push_back(arguments[i]);
    }
    return line;
}

bool StartedInTheProgramFolder(const std::vector<std::string>& arguments,
                               const std::string& currentFolder, const std::string& programPath) {
    return arguments.empty() && SameFile(currentFolder, FolderPart(programPath));
}

std::optional<std::string> InformationAskedFor(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1)
        return std::nullopt;
    const std::string& only = arguments.front();
    const bool help = only == "--help" || only == "-h" || only == "/?";
    native::EntryInfo info;
    if ((!help && only != "--version") ||
        native::Inspect(only, info).value != native::Lookup::Missing)
        return std::nullopt;  // a file of that name is an input like any other
    return help ? kUsage : kVersion;
}

}  // namespace quenrix
