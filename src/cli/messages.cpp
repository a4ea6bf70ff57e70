#include "cli/messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string& program_name() {
    static std::string name = "zkpapertoollpr";
    return name;
}

}  // namespace

void set_program_name(const char* argv0) {
    const std::string_view path = argv0 ? argv0 : "";
    const std::string_view command = path.substr(path.rfind('/') + 1);
    if (!command.empty()) program_name() = command;
}

void diagnose(const std::string& what, const std::string& why) {
    const std::string line =
        escaped(program_name()) + ": " + escaped(what) + ": " + escaped(why) + "\n";
    // One write, so that lines of runs sharing standard error do not interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string escaped(std::string_view text) {
    std::string out(4 * text.size(), '\0');
    out.resize(static_cast<std::size_t>(write_escaped(out.data(), text) - out.data()));
    return out;
}

char* write_escaped(char* out, std::string_view text) {
    // --list passes every name through here.
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f && c != '\\') {
            *out++ = c;
            continue;
        }
        *out++ = '\\';
        switch (c) {
            case '\\':
                *out++ = '\\';
                break;
            case '\t':
                *out++ = 't';
                break;
            case '\n':
                *out++ = 'n';
                break;
            case '\r':
                *out++ = 'r';
                break;
            default:
                // Three digits always, so that a digit after it cannot join the number.
                *out++ = static_cast<char>('0' + (byte >> 6));
                *out++ = static_cast<char>('0' + ((byte >> 3) & 7));
                *out++ = static_cast<char>('0' + (byte & 7));
        }
    }
    return out;
}

bool unescaped(std::string_view text, std::string& out) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            out += text[at];
            continue;
        }
        const std::string_view rest = text.substr(at + 1);
        const std::size_t octal = rest.substr(0, 3).find_first_not_of("01234567");
        if (rest.size() >= 3 && octal == std::string_view::npos && rest[0] <= '3') {
            out += static_cast<char>((rest[0] - '0') * 64 + (rest[1] - '0') * 8 + (rest[2] - '0'));
            at += 3;
            continue;
        }
        const char simple = rest.empty() ? '\0' : rest[0];
        if (simple == '\\')
            out += '\\';
        else if (simple == 't')
            out += '\t';
        else if (simple == 'n')
            out += '\n';
        else if (simple == 'r')
            out += '\r';
        else
            return false;
        at += 1;
    }
    return true;
}

bool close_standard_output() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) {
        // As GNU tools do: standard output closed from the start is no fault when
        // nothing was written to it (a failed write would have set the error).
        if (std::fclose(stdout) == 0 || errno == EBADF) return true;
    }
    diagnose("write error", errno ? std::strerror(errno) : "output lost");
    return false;
}
