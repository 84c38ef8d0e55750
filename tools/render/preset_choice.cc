#include "preset_choice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "FactoryLibrary.h"
#include "ParamTable.h"
#include "cli.h"

namespace orvo::render {
namespace {

bool endsWith(const std::string& text, const char* suffix) {
    const std::string tail(suffix);
    if (text.size() < tail.size()) return false;
    return std::equal(tail.rbegin(), tail.rend(), text.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

bool isFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

ProgramFile choosePreset(const std::string& what) {
    if (endsWith(what, ".fxp") || endsWith(what, ".fxb") || isFile(what)) {
        ProgramRead read = readProgramFile(what);
        if (!read.error.empty()) throw PresetFileError("--preset " + read.error);
        // A bank holds many sounds and --preset plays one; the factory
        // bank's are all reachable by name.
        if (read.programs.size() != 1)
            throw PresetFileError("--preset " + what + " is a bank of " + std::to_string(read.programs.size()) +
                                  " programs; name one program file (.fxp) or a factory preset (--list-presets)");
        return read.programs.front();
    }
    const FactoryPreset* found = findFactoryPreset(what);
    if (!found) throw UsageError("--preset: there is no factory preset named '" + what + "' (--list-presets lists them)");
    ProgramFile preset{found->name, {}};
    std::copy(std::begin(found->values), std::end(found->values), preset.values.begin());
    return preset;
}

void mustBeTheInstrument(PluginHost& host, const char* option) {
    if (host.numParams() != kNumParams)
        throw UsageError(std::string(option) + ": '" + host.path() + "' has " + std::to_string(host.numParams()) +
                         " parameters, not the instrument's " + std::to_string(kNumParams));
}

void applyPreset(PluginHost& host, const ProgramFile& preset) {
    mustBeTheInstrument(host, "--preset");
    for (int32_t index : kProgramApplyOrder) host.setParameter(index, preset.values[size_t(index)]);
    std::string name = preset.name.substr(0, kProgramNameSize - 1);
    host.dispatch(effSetProgramName, 0, 0, name.data());
}

ProgramFile currentPreset(PluginHost& host) {
    ProgramFile preset{};
    preset.name = host.programName(static_cast<int>(host.dispatch(effGetProgram)));
    for (int i = 0; i < kNumParams; ++i) preset.values[size_t(i)] = host.getParameter(i);
    return preset;
}

void savePreset(const std::string& path, const ProgramFile& preset) {
    const std::vector<uint8_t> bytes = programFileBytes(preset);
    const std::string temp = path + ".part";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw PresetFileError("cannot save the preset to '" + path + "': " + std::strerror(errno));
    int error = 0;
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written != ssize_t(bytes.size()))
        error = written < 0 ? errno : ENOSPC;  // a short write: the disk is full
    else if (::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        throw PresetFileError("cannot save the preset to '" + path + "': " + std::strerror(error));
    }
}

std::string presetTargetProblem(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return "'" + path + "' is a folder";
    if (::access(folder.c_str(), W_OK) != 0) return "cannot save a preset in '" + folder + "': " + std::strerror(errno);
    return {};
}

void listPresets(std::FILE* out) {
    size_t nameWidth = 4, categoryWidth = 8;
    for (const FactoryPreset& p : factoryLibrary()) {
        nameWidth = std::max(nameWidth, std::string(p.name).size());
        categoryWidth = std::max(categoryWidth, std::string(p.category).size());
    }
    std::fprintf(out, "%-*s  %-*s  %s\n", int(nameWidth), "name", int(categoryWidth), "category", "description");
    for (const FactoryPreset& p : factoryLibrary())
        std::fprintf(out, "%-*s  %-*s  %s\n", int(nameWidth), p.name, int(categoryWidth), p.category, p.description);
}

}  // namespace orvo::render
