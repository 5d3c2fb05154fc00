#include "cli/cli_options.h"

#include <cstdlib>
#include <string>

#include "driver/library_formats.h"
#include "platform/utf8.h"

namespace {

// The option column of the usage text, and its width.
constexpr size_t kTextColumn = 39;
constexpr size_t kLineWidth = 79;

// "  OPTION   text" with the text wrapped into the text column; an option as
// wide as the column takes a line of its own.
std::string optionLines(const std::string& option, const std::string& text) {
    std::string lines = "  " + option;
    size_t column = lines.size();
    if (column + 1 > kTextColumn) {
        lines += '\n';
        column = 0;
    }
    lines.append(kTextColumn - column, ' ');
    column = kTextColumn;
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!first && column + 1 + word.size() > kLineWidth) {
            lines += '\n';
            lines.append(kTextColumn, ' ');
            column = kTextColumn;
        } else if (!first) {
            lines += ' ';
            ++column;
        }
        lines += word;
        column += word.size();
        first = false;
        start = end + 1;
    }
    return lines + '\n';
}

// "bmp|png|jpeg|gif|jpegcopy|webp": the names of the written formats.
std::string formatNames(const char* separator) {
    std::string names;
    for (const FormatEntry& entry : everyFormat()) {
        if (!entry.writes() || !entry.name) continue;
        if (!names.empty()) names += separator;
        names += entry.name;
    }
    return names;
}

std::string formatOptionLines() {
    std::string notes;
    for (const FormatEntry& entry : everyFormat()) {
        if (!entry.writes() || !entry.usageNote) continue;
        notes += notes.empty() ? " (" : "; ";
        notes += entry.usageNote;
    }
    if (!notes.empty()) notes += ")";
    return optionLines("--format " + formatNames("|"), "output format, any letter case" + notes);
}

std::string switchLines() {
    std::string lines;
    for (const FormatSwitch& option : everyFormatSwitch())
        lines += optionLines(option.flag, option.help);
    return lines;
}

}  // namespace

std::string usageText() {
    return "usage: moravel [options] FILE...\n"
           "Converts every FILE to one format and prints the path of each file written.\n"
           "Existing files are never overwritten (name+1.ext, name+2.ext, ... are used).\n"
           "Options take their value as the next argument or after '=' (--format=png).\n" +
           formatOptionLines() +
           "  --output-folder DIR                  default: the folder of the first source\n"
           "  --sub-folder NAME                    write into DIR/NAME (created when missing);\n"
           "                                       a folder name, not a path\n"
           "  --quality N                          JPEG and WebP quality 1-100, default 75\n"
           "  --subsampling 420|422|444            JPEG chroma sampling, default 420\n"
           "  --size-limit KIB                     JPEG file-size limit in KiB (1-32767); a\n"
           "                                       file that does not fit even at quality 1 is\n"
           "                                       written at quality 1 with a note\n" +
           switchLines() +
           "  --resize width:N|height:N|long:N     shrink to N pixels (N at least 1; never\n"
           "                                       enlarges); sharpened afterwards\n"
           "  --keep-transparency                  carry the one transparent colour of a\n"
           "                                       palette or colour-key picture into PNG and\n"
           "                                       GIF; a picture with an alpha channel is\n"
           "                                       always flattened onto its background (white\n"
           "                                       unless the PNG names another)\n"
           "  --settings FILE                      read options from a settings file (Pirex.ini);\n"
           "                                       flags override them\n"
           "  --plugin-folder DIR                  image plug-ins (*.spi, *.sph) for other\n"
           "                                       formats (Windows only); default: the\n"
           "                                       plugins folder beside the program, \"\"\n"
           "                                       for none; a relative DIR is taken from\n"
           "                                       the current folder\n"
           "  --jobs N                             files converted at once (1-64), default\n"
           "                                       one per processor; outputs, names and\n"
           "                                       messages are those of --jobs 1\n"
           "  --show-settings                      print the settings (after flags) and exit\n"
           "  --save-settings FILE                 write the settings (after flags) to FILE, a "
           "new\n"
           "                                       file or an existing settings file, keeping\n"
           "                                       what it holds for other versions\n"
           "  --version                            moravel's version and those of the\n"
           "                                       libraries it was built with\n"
           "  -h, --help                           this text\n"
           "Turned photos come out upright, as viewers show them (the orientation of\n"
           "JPEG, TIFF, WebP, HEIC and AVIF; PNG's is not applied); --resize sizes the\n"
           "upright picture. A picture with an embedded colour profile (Display P3,\n"
           "Adobe RGB, ...) is converted to sRGB, which every output is; a profile that\n"
           "cannot be read is ignored with a note.\n"
           "Folders among the FILEs are skipped. Converted paths go to stdout, one per line\n"
           "as each file is done; reasons for failures and notes go to stderr.\n"
           "Exit status: 0 every file converted; 1 at least one file failed or was\n"
           "skipped; 2 bad usage, no input files or a batch error; 130 interrupted.\n";
}

std::string toUtf8(const std::u16string& text) {
    return platform::toUtf8(text.data(), text.size());
}

std::u16string fromUtf8(const std::string& text) {
    return platform::fromUtf8(text.c_str());
}

namespace {

bool parseNumber(const std::u16string& text, long low, long high, int& value) {
    if (text.empty() || text.size() > 9) return false;
    long n = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        n = n * 10 + (c - u'0');
    }
    if (n < low || n > high) return false;
    value = static_cast<int>(n);
    return true;
}

std::u16string asciiLower(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

bool parseFormat(const std::u16string& text, OutputFormat& format) {
    const FormatEntry* entry = outputFormatNamed(everyFormat(), toUtf8(text).c_str());
    if (!entry) return false;
    format = entry->output;
    return true;
}

const FormatSwitch* switchNamed(const std::u16string& name) {
    for (const FormatSwitch& option : everyFormatSwitch())
        if (name == fromUtf8(option.flag)) return &option;
    return nullptr;
}

// "bmp, png, jpeg, gif or jpegcopy"
std::string formatChoices() {
    std::string names = formatNames(", ");
    const size_t last = names.rfind(", ");
    if (last != std::string::npos) names.replace(last, 2, " or ");
    return names;
}

// A sub-folder is one folder name inside the output folder: no separators,
// no drive, not "." or "..".
bool isPlainFolderName(const std::u16string& name) {
    if (name.empty() || name == u"." || name == u"..") return false;
    for (char16_t c : name)
        if (c == u'/' || c == u'\\' || c == u':' || c < 0x20) return false;
    return true;
}

}  // namespace

bool parseCliOptions(const std::vector<std::u16string>& args, CliOptions& o, std::string& error) {
    bool filesOnly = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (filesOnly || arg.empty() || arg[0] != u'-' || arg == u"-") {
            o.files.push_back(arg);
            continue;
        }
        if (arg == u"--") {
            filesOnly = true;
            continue;
        }
        // "--name=value" and "--name value" mean the same.
        const size_t equals = arg.rfind(u"--", 0) == 0 ? arg.find(u'=') : std::u16string::npos;
        const std::u16string name = arg.substr(0, equals);
        const bool inlineValue = equals != std::u16string::npos;

        bool* flag = nullptr;
        if (name == u"--help" || name == u"-h")
            flag = &o.help;
        else if (name == u"--version")
            flag = &o.version;
        else if (name == u"--keep-transparency")
            flag = &o.keepTransparency;
        else if (name == u"--show-settings")
            flag = &o.showSettings;
        const FormatSwitch* formatSwitch = switchNamed(name);
        if (flag || formatSwitch) {
            if (inlineValue) {
                error = "option " + toUtf8(name) + " takes no value";
                return false;
            }
            if (flag)
                *flag = true;
            else
                o.switches |= formatSwitch->option;
            continue;
        }

        static const char16_t* const kWithValue[] = {
            u"--format",        u"--output-folder", u"--sub-folder", u"--quality",
            u"--subsampling",   u"--size-limit",    u"--resize",     u"--settings",
            u"--save-settings", u"--plugin-folder", u"--jobs"};
        bool known = false;
        for (const char16_t* candidate : kWithValue) known = known || name == candidate;
        if (!known) {
            error = "unknown option " + toUtf8(name);
            return false;
        }
        if (!inlineValue && i + 1 >= args.size()) {
            error = "option " + toUtf8(name) + " needs a value";
            return false;
        }
        const std::u16string value = inlineValue ? arg.substr(equals + 1) : args[++i];
        if (name == u"--format") {
            if (!parseFormat(value, o.format)) {
                error = "unknown format '" + toUtf8(value) + "' (" + formatChoices() + ")";
                return false;
            }
            o.hasFormat = true;
        } else if (name == u"--output-folder") {
            if (value.empty()) {
                error = "--output-folder needs a folder";
                return false;
            }
            o.hasOutputFolder = true;
            o.outputFolder = value;
        } else if (name == u"--sub-folder") {
            if (value.empty() || value.size() > 31) {
                error = "--sub-folder needs a name of 1 to 31 characters";
                return false;
            }
            if (!isPlainFolderName(value)) {
                error = "--sub-folder takes a folder name, not a path: '" + toUtf8(value) + "'";
                return false;
            }
            o.hasSubFolder = true;
            o.subFolder = value;
        } else if (name == u"--quality") {
            if (!parseNumber(value, 1, 100, o.quality)) {
                error = "--quality needs a number from 1 to 100";
                return false;
            }
            o.hasQuality = true;
        } else if (name == u"--subsampling") {
            if (value == u"420")
                o.subsampling = 0;
            else if (value == u"422")
                o.subsampling = 1;
            else if (value == u"444")
                o.subsampling = 2;
            else {
                error = "--subsampling needs 420, 422 or 444";
                return false;
            }
            o.hasSubsampling = true;
        } else if (name == u"--size-limit") {
            if (!parseNumber(value, 1, 32767, o.sizeLimitKiB)) {
                error = "--size-limit needs a number of KiB from 1 to 32767";
                return false;
            }
            o.hasSizeLimit = true;
        } else if (name == u"--resize") {
            const size_t colon = value.find(u':');
            const std::u16string mode =
                colon == std::u16string::npos ? u"" : asciiLower(value.substr(0, colon));
            const std::u16string target =
                colon == std::u16string::npos ? u"" : value.substr(colon + 1);
            if (mode == u"width")
                o.resizeMode = kResizeByWidth;
            else if (mode == u"height")
                o.resizeMode = kResizeByHeight;
            else if (mode == u"long")
                o.resizeMode = kResizeByLongerSide;
            else {
                error = "--resize needs width:N, height:N or long:N";
                return false;
            }
            // A side of 0 would make every picture fail.
            if (!parseNumber(target, 1, 1000000, o.resizeTarget)) {
                error = "--resize needs a size from 1 to 1000000 pixels, for example long:1600";
                return false;
            }
            o.hasResize = true;
        } else if (name == u"--settings") {
            o.settingsFile = value;
        } else if (name == u"--save-settings") {
            o.saveSettingsFile = value;
        } else if (name == u"--jobs") {
            if (!parseNumber(value, 1, kMaxJobs, o.jobs)) {
                error = "--jobs needs a number from 1 to " + std::to_string(kMaxJobs);
                return false;
            }
        } else if (name == u"--plugin-folder") {
            o.hasPluginFolder = true;
            o.pluginFolder = value;
        }
    }
    if (o.help || o.version || o.showSettings) return true;
    if (!o.saveSettingsFile.empty() && o.files.empty()) return true;
    if (!o.hasFormat) {
        error = "no output format given (--format)";
        return false;
    }
    for (const FormatSwitch& option : everyFormatSwitch()) {
        const FormatEntry& entry = outputFormatEntry(everyFormat(), o.format);
        if ((o.switches & option.option) && !(entry.options & option.option)) {
            error = std::string(option.flag) + " does not apply to " + entry.name + " output";
            return false;
        }
    }
    if (o.files.empty()) {
        error = "no files given";
        return false;
    }
    return true;
}

void applyCliOptions(const CliOptions& o, Settings& s) {
    if (o.hasOutputFolder) s.outputFolder.assign(o.outputFolder.c_str());
    if (o.hasSubFolder) {
        s.subFolderOn = 1;
        s.subFolderName.assign(o.subFolder.c_str());
    }
    if (o.hasQuality) s.jpegQuality = o.quality;
    if (o.hasSubsampling) s.jpegSubsampling = o.subsampling;
    if (o.hasSizeLimit) {
        s.jpegSizeLimitOn = 1;
        s.jpegSizeLimitKiB = o.sizeLimitKiB;
    }
    if (o.hasResize) {
        s.resizeOn = 1;
        s.resizeMode = o.resizeMode;
        s.resizeTarget = o.resizeTarget;
    }
    if (o.keepTransparency) s.keepTransparency = 1;
    if (o.hasPluginFolder) s.pluginFolder.assign(o.pluginFolder.c_str());
}
