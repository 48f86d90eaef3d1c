// rc-compile: compiles a resource script into a C++ file of resource tables for the Linux build.
//   rc-compile [-I dir]... [--depfile file] -o output.cpp script.rc
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cpp_writer.h"
#include "script_parser.h"

namespace {

int usage() {
    std::fputs("usage: rc-compile [-I dir]... [--depfile file] -o output.cpp script.rc\n", stderr);
    return 2;
}

bool write_file(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::filesystem::path> include_dirs;
    std::string output, depfile, script;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-I" || arg == "-o" || arg == "--depfile") {
            if (i + 1 >= argc)
                return usage();
            std::string value = argv[++i];
            if (arg == "-I")
                include_dirs.emplace_back(value);
            else if (arg == "-o")
                output = value;
            else
                depfile = value;
        } else if (arg.rfind("-I", 0) == 0) {
            include_dirs.emplace_back(arg.substr(2));
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else if (script.empty()) {
            script = arg;
        } else {
            return usage();
        }
    }
    if (output.empty() || script.empty())
        return usage();

    try {
        auto compiled = platform::rc::compile_script(script, include_dirs);
        if (!write_file(output, platform::rc::write_cpp(compiled, script))) {
            std::fprintf(stderr, "rc-compile: cannot write '%s'\n", output.c_str());
            return 1;
        }
        if (!depfile.empty() && !write_file(depfile, platform::rc::write_depfile(compiled, output))) {
            std::fprintf(stderr, "rc-compile: cannot write '%s'\n", depfile.c_str());
            return 1;
        }
    } catch (const platform::rc::ScriptError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::remove(output.c_str());
        return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s: %s\n", script.c_str(), error.what());
        std::remove(output.c_str());
        return 1;
    }
    return 0;
}
