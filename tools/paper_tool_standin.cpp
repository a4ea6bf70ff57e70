// Stand-in for a driver's CUPS-side paper tool (zkpapertoolcups_<model>), which is
// not on a development machine. It accepts any command line, appends it to
// "<own path>.log" (each word, and the newline that ends each call, followed by a zero byte) and
// exits 0, also for a name it never saw. A file "<own path>.fail" makes it fail
// instead: it exits with the number written there, or dies of signal -N for a
// negative number. A word after the number limits that to calls whose operation
// (the word after the printer) it is, as in "1 -n"; a third word, "once", to the first
// of them, any other to calls for that name. It fails with status 4 when it holds its driver's
// folder open: a run's lock on it must not reach the paper tool, which could outlive the run.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

// "-P printer -d name ..." or "-P printer -n name -w W -h H -specid ID ...".
int hold(const std::string& self, int argc, char* argv[]) {
    if (argc < 5) return 0;
    const std::string operation = argv[3], name = argv[4];
    std::ifstream in(self + ".held");
    std::ostringstream kept;
    for (std::string line; std::getline(in, line);) {
        if (line.substr(0, line.find('\t')) != name) kept << line << '\n';
    }
    if (operation == "-n" && argc >= 11) {
        if (std::ifstream slow(self + ".slow"); slow) {
            unsigned seconds = 0;
            slow >> seconds;
            ::sleep(seconds);
        }
        kept << name << '\t' << argv[6] << '\t' << argv[8] << '\t' << argv[10] << '\n';
    }
    // Whole or not at all, like the driver files.
    {
        std::ofstream out(self + ".held.new", std::ios::trunc);
        if (!(out << kept.str()) || !out.flush()) return 3;
    }
    return std::rename((self + ".held.new").c_str(), (self + ".held").c_str()) == 0 ? 0 : 3;
}

int main(int argc, char* argv[]) {
    if (argc < 1 || !argv[0]) return 2;
    const std::string self = argv[0];
    struct stat folder {
    }, held{};
    if (::stat((self.substr(0, self.rfind('/') + 1) + "../inf").c_str(), &folder) == 0) {
        for (int fd = 3; fd < 1024; ++fd) {
            if (::fstat(fd, &held) == 0 && held.st_dev == folder.st_dev &&
                held.st_ino == folder.st_ino)
                return 4;
        }
    }
    {
        std::ofstream log(self + ".log", std::ios::app);
        for (int i = 0; i < argc; ++i) log << argv[i] << '\0';
        log << '\n' << '\0';
        if (!log.flush()) return 3;
    }
    std::ifstream fail(self + ".fail");
    int status = 0;
    std::string only;
    std::string which;
    if (fail >> status && !(fail >> only && (argc < 4 || only != argv[3])) &&
        !(fail >> which && which != "once" && (argc < 5 || which != argv[4]))) {
        // "once": the next such call succeeds again.
        if (which == "once") std::remove((self + ".fail").c_str());
        if (status < 0) ::raise(-status);
        return status;
    }
    return hold(self, argc, argv);
}
