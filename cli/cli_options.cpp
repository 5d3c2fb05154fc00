#include "cli/cli_options.h"

#include <cstdlib>

#include "platform/utf8.h"

const char kUsageText[] =
    "usage: moravel [options] FILE...\n"
    "Converts every FILE to one format; existing files are never overwritten\n"
    "(name+1.ext, name+2.ext, ... are used instead).\n"
    "  --format bmp|png|jpeg|gif|jpegcopy   output format (jpegcopy: lossless JPEG\n"
    "                                       re-write without metadata)\n"
    "  --output-folder DIR                  default: the folder of the first source\n"
    "  --sub-folder NAME                    write into DIR/NAME (created when missing)\n"
    "  --quality N                          JPEG quality 1-100, default 75\n"
    "  --subsampling 420|422|444            JPEG chroma sampling, default 420\n"
    "  --size-limit KIB                     JPEG file-size limit in KiB (1-32767)\n"
    "  --resize width:N|height:N|long:N     shrink (never enlarges); sharpened afterwards\n"
    "  --keep-transparency                  carry a transparent colour into PNG and GIF\n"
    "  --settings FILE                      read options from a settings file (Pirex.ini);\n"
    "                                       flags override them\n"
    "  --plugin-folder DIR                  image plug-ins (*.spi, *.sph) for other\n"
    "                                       formats (Windows only)\n"
    "  --show-settings                      print the settings (after flags) and exit\n"
    "  --save-settings FILE                 write the settings (after flags) to FILE,\n"
    "                                       keeping what it holds for other versions\n"
    "  --help, --version\n"
    "Exit status: 0 at least one file converted, 1 nothing produced, 2 bad usage\n"
    "or a batch error.\n";

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

bool parseFormat(const std::u16string& name, OutputFormat& format) {
    if (name == u"bmp")
        format = OutputFormat::Bmp;
    else if (name == u"png")
        format = OutputFormat::Png;
    else if (name == u"jpeg" || name == u"jpg")
        format = OutputFormat::Jpeg;
    else if (name == u"gif")
        format = OutputFormat::Gif;
    else if (name == u"jpegcopy")
        format = OutputFormat::JpegCopy;
    else
        return false;
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
        if (arg == u"--help" || arg == u"-h") {
            o.help = true;
            continue;
        }
        if (arg == u"--version") {
            o.version = true;
            continue;
        }
        if (arg == u"--keep-transparency") {
            o.keepTransparency = true;
            continue;
        }
        if (arg == u"--show-settings") {
            o.showSettings = true;
            continue;
        }
        static const char16_t* const kWithValue[] = {
            u"--format",        u"--output-folder", u"--sub-folder", u"--quality",
            u"--subsampling",   u"--size-limit",    u"--resize",     u"--settings",
            u"--save-settings", u"--plugin-folder"};
        bool known = false;
        for (const char16_t* name : kWithValue) known = known || arg == name;
        if (!known) {
            error = "unknown option " + toUtf8(arg);
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "option " + toUtf8(arg) + " needs a value";
            return false;
        }
        const std::u16string& value = args[++i];
        if (arg == u"--format") {
            if (!parseFormat(value, o.format)) {
                error = "unknown format " + toUtf8(value) + " (bmp, png, jpeg, gif or jpegcopy)";
                return false;
            }
            o.hasFormat = true;
        } else if (arg == u"--output-folder") {
            if (value.empty()) {
                error = "--output-folder needs a folder";
                return false;
            }
            o.hasOutputFolder = true;
            o.outputFolder = value;
        } else if (arg == u"--sub-folder") {
            if (value.empty() || value.size() > 31) {
                error = "--sub-folder needs a name of 1 to 31 characters";
                return false;
            }
            o.hasSubFolder = true;
            o.subFolder = value;
        } else if (arg == u"--quality") {
            if (!parseNumber(value, 1, 100, o.quality)) {
                error = "--quality needs a number from 1 to 100";
                return false;
            }
            o.hasQuality = true;
        } else if (arg == u"--subsampling") {
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
        } else if (arg == u"--size-limit") {
            if (!parseNumber(value, 1, 32767, o.sizeLimitKiB)) {
                error = "--size-limit needs a number of KiB from 1 to 32767";
                return false;
            }
            o.hasSizeLimit = true;
        } else if (arg == u"--resize") {
            size_t colon = value.find(u':');
            std::u16string mode = colon == std::u16string::npos ? u"" : value.substr(0, colon);
            std::u16string target = colon == std::u16string::npos ? u"" : value.substr(colon + 1);
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
            if (!parseNumber(target, 0, 1000000, o.resizeTarget)) {
                error = "--resize needs a size in pixels, for example long:1600";
                return false;
            }
            o.hasResize = true;
        } else if (arg == u"--settings") {
            o.settingsFile = value;
        } else if (arg == u"--save-settings") {
            o.saveSettingsFile = value;
        } else if (arg == u"--plugin-folder") {
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
