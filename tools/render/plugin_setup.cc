#include "plugin_setup.h"

#include <cstdio>
#include <cstdlib>

#include "cli.h"
#include "preset_choice.h"

namespace orvo::render {
namespace {

std::string parameterNames(PluginHost& host) {
    std::string names;
    for (int i = 0; i < host.numParams(); ++i) names += (i ? ", " : "") + host.paramName(i);
    return names.empty() ? "none" : names;
}

}  // namespace

void applyProgram(PluginHost& host, std::optional<int> program) {
    const int p = program ? *program : static_cast<int>(host.dispatch(effGetProgram));
    if (!program && (p < 0 || p >= host.numPrograms())) return;  // a plug-in without programs
    if (p < 0 || p >= host.numPrograms())
        throw UsageError("--program " + std::to_string(p) + " is out of range: the plug-in has " +
                         std::to_string(host.numPrograms()) + " programs (0 to " +
                         std::to_string(host.numPrograms() - 1) + ")");
    host.setProgram(p);
}

std::set<int> applyParams(PluginHost& host, const std::vector<std::string>& assignments) {
    std::set<int> touched;
    for (const std::string& assignment : assignments) {
        auto eq = assignment.find('=');
        if (eq == std::string::npos || eq == 0) throw UsageError("--param '" + assignment + "' is not NAME=VALUE");
        std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
        int index = host.findParam(name);
        if (index < 0)
            throw UsageError("unknown parameter '" + name + "'; the plug-in's parameters are: " + parameterNames(host));
        char* end = nullptr;
        float value = std::strtof(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(value >= 0.0f && value <= 1.0f))
            throw UsageError("--param " + name + ": '" + text + "' is not a value from 0 to 1");
        host.setParameter(index, value);
        touched.insert(index);
    }
    return touched;
}

std::set<int> applySound(PluginHost& host, const SoundChoice& choice) {
    applyProgram(host, choice.program);
    if (!choice.preset.empty()) applyPreset(host, choosePreset(choice.preset));
    return applyParams(host, choice.params);
}

void listPlugin(PluginHost& host) {
    std::printf("%s: %s by %s\n", host.effectName().c_str(), host.productString().c_str(),
                host.vendorString().c_str());
    std::printf("plug-in  %s\n", host.path().c_str());
    std::printf("outputs  %d, inputs %d\n\n", host.numOutputs(), host.effect()->numInputs);
    int current = static_cast<int>(host.dispatch(effGetProgram));
    std::printf("Programs (%d):\n", host.numPrograms());
    for (int i = 0; i < host.numPrograms(); ++i)
        std::printf("  %c%3d  %s\n", i == current ? '*' : ' ', i, host.programName(i).c_str());
    std::printf("\nParameters (%d), as in program %d:\n", host.numParams(), current);
    std::printf("  %3s  %-12s %-8s %s\n", "#", "name", "value", "display");
    for (int i = 0; i < host.numParams(); ++i)
        std::printf("  %3d  %-12s %-8.4f %s\n", i, host.paramName(i).c_str(), double(host.getParameter(i)),
                    host.paramDisplay(i).c_str());
}

}  // namespace orvo::render
