// Stand-in for a driver's CUPS-side paper tool (zkpapertoolcups_<model>), which is
// not on a development machine. It accepts any command line, appends it to
// "<own path>.log" (each word, and the newline that ends each call, followed by a zero byte) and
// exits 0, also for a name it never saw. A file "<own path>.fail" makes it fail
// instead: it exits with the number written there, or dies of signal -N for a
// negative number. A word after the number limits that to calls whose operation
// (the word after the printer) it is, as in "1 -n"; a third word, "once", to the first
// of them.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char* argv[]) {
    if (argc < 1 || !argv[0]) return 2;
    const std::string self = argv[0];
    {
        std::ofstream log(self + ".log", std::ios::app);
        for (int i = 0; i < argc; ++i) log << argv[i] << '\0';
        log << '\n' << '\0';
        if (!log.flush()) return 3;
    }
    std::ifstream fail(self + ".fail");
    int status = 0;
    std::string only;
    if (!(fail >> status)) return 0;
    if (fail >> only && (argc < 4 || only != argv[3])) return 0;
    // "once": the next such call succeeds again.
    if (std::string once; fail >> once) std::remove((self + ".fail").c_str());
    if (status < 0) ::raise(-status);
    return status;
}
