/* The least any correct add or delete can do, as a yardstick for the tool's time:
 * an operation record written and synced and the folder synced (so that a run killed
 * while the paper tool works can be done again by the next), the paper tool calls, each
 * changed file copied whole into a synced temporary file, a commit record written and
 * synced and the folder synced (so that a kill between two renames can be finished by
 * the next run), the renames, one more sync of the folder, and both records removed. It
 * neither looks at lines nor takes a lock, so it is a bound, not a working tool.
 *   floor add|delete INF_FOLDER MODEL PAPER_TOOL */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#define NAME "Bench new"
#define ID "ZkL_zkS12mm__090A0321F3A7"

static void die(const char* what, const char* path) {
    fprintf(stderr, "floor: %s %s: %s\n", what, path, strerror(errno));
    exit(1);
}

static void run(char* const argv[]) {
    pid_t child;
    int status;
    const int error = posix_spawn(&child, argv[0], NULL, NULL, argv, environ);
    if (error != 0) {
        errno = error;
        die("spawn", argv[0]);
    }
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) die("wait for", argv[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "floor: %s failed\n", argv[0]);
        exit(1);
    }
}

static void write_all(int fd, const char* bytes, size_t left, const char* path) {
    while (left > 0) {
        const ssize_t written = write(fd, bytes, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) die("write", path);
        bytes += written;
        left -= (size_t)written;
    }
}

static void temp_name(char* temp, const char* path) {
    if (snprintf(temp, PATH_MAX, "%s.$$$", path) >= PATH_MAX) {
        errno = ENAMETOOLONG;
        die("name", path);
    }
}

/* Copies PATH with LINE (if any) appended into PATH.$$$, synced. */
static void stage(const char* path, const char* line) {
    static char buffer[64 * 1024];
    char temp[PATH_MAX];
    temp_name(temp, path);
    const int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0) die("open", path);
    const int out = open(temp, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (out < 0) die("create", temp);
    ssize_t got;
    while ((got = read(in, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) die("read", path);
        write_all(out, buffer, (size_t)got, temp);
    }
    if (line) write_all(out, line, strlen(line), temp);
    /* The mode before the sync, so that it is as durable as the bytes. */
    if (fchmod(out, 0666) != 0) die("chmod", temp);
    if (fsync(out) != 0) die("sync", temp);
    if (close(out) != 0) die("close", temp);
    close(in);
}

/* Writes TEXT into the new file PATH and syncs it. */
static void write_record(const char* path, const char* text) {
    const int out = open(path, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    if (out < 0) die("create", path);
    write_all(out, text, strlen(text), path);
    if (fsync(out) != 0) die("sync", path);
    if (close(out) != 0) die("close", path);
}

static void put_in_place(const char* path) {
    char temp[PATH_MAX];
    temp_name(temp, path);
    if (rename(temp, path) != 0) die("rename", temp);
}

int main(int argc, char* argv[]) {
    if (argc != 5 || (strcmp(argv[1], "add") != 0 && strcmp(argv[1], "delete") != 0)) {
        fprintf(stderr, "usage: floor add|delete INF_FOLDER MODEL PAPER_TOOL\n");
        return 2;
    }
    const int add = strcmp(argv[1], "add") == 0;
    const char *inf = argv[2], *model = argv[3];
    char* tool = argv[4];
    char files[4][PATH_MAX];
    const char* lines[4] = {NULL, NULL, NULL, NULL};
    int count = 0;
    char operation[PATH_MAX];
    snprintf(operation, PATH_MAX, "%s/operation", inf);
    write_record(operation, add ? "add " NAME " 10 50 " ID "\n" : "delete Bench target\n");
    const int folder = open(inf, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) die("open", inf);
    if (fsync(folder) != 0) die("sync", inf);

    if (add) {
        char* replace[] = {tool, "-P", "Bench", "-d", NAME, "-show", "1", NULL};
        char* create[] = {tool, "-P", "Bench",   "-n", NAME,    "-w", "10",
                          "-h", "50", "-specid", ID,   "-show", "1",  NULL};
        run(replace);
        run(create);
        snprintf(files[0], PATH_MAX, "%s/zk%sfunc", inf, model);
        lines[0] = ID "/" NAME "\n";
        snprintf(files[1], PATH_MAX, "%s/paperinf%s", inf, model);
        lines[1] = ID "/" NAME ":\t70\t353\n";
        snprintf(files[2], PATH_MAX, "%s/ImagingArea", inf);
        lines[2] = ID ":\t0.00\t0.00\t28.00\t141.52\n";
        count = 3;
    } else {
        char* drop[] = {tool, "-P", "Bench", "-d", "Bench target", "-show", "1", NULL};
        run(drop);
        snprintf(files[0], PATH_MAX, "%s/zk%sfunc", inf, model);
        snprintf(files[1], PATH_MAX, "%s/paperinf%s", inf, model);
        snprintf(files[2], PATH_MAX, "%s/zk%src", inf, model);
        snprintf(files[3], PATH_MAX, "%s/ImagingArea", inf);
        count = 4;
    }

    for (int i = 0; i < count; ++i) stage(files[i], lines[i]);
    char record[PATH_MAX], text[4 * PATH_MAX + 4] = "";
    snprintf(record, PATH_MAX, "%s/commit", inf);
    for (int i = 0; i < count; ++i) strcat(strcat(text, files[i]), "\n");
    write_record(record, text);
    if (fsync(folder) != 0) die("sync", inf);
    for (int i = 0; i < count; ++i) put_in_place(files[i]);
    if (fsync(folder) != 0) die("sync", inf);
    if (unlink(operation) != 0) die("remove", operation);
    if (unlink(record) != 0) die("remove", record);
    close(folder);
    return 0;
}
