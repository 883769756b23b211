/* verifica-libreria: an outside program in plain C, as another maker would
 * write it. It loads the conversion library by path, finds its two functions
 * and the counted-string allocator by name, and checks the library's contract
 * both ways, refusing what the programs refuse. Each group of checks runs in a
 * child process of its own, which loads and unloads the library, so that a
 * fault, an abort, an early exit or a hang becomes a FAIL line. */
#include "tools/verifica-libreria/checker.h"

#include <stdlib.h>
#include <string.h>

static const char usage[] =
    "Usage: verifica-libreria LIBRARY\n"
    "Checks that LIBRARY (a path, or a file name in the current folder) keeps the\n"
    "conversion library's contract. Prints one line per check; exits with status 0\n"
    "when every check passed, 1 otherwise.\n";

FILE* out;

/* A child's lines past this are dropped: no group writes nearly as much. */
enum { kOutputLimit = 1 << 20 };

static int passed;
static int failed;

void check(int ok, const char* what)
{
    fprintf(out, "%s: %s\n", ok ? "ok  " : "FAIL", what);
    fflush(out);
}

void fail(const char* group, const char* what, const char* detail)
{
    printf("FAIL: %s: %s%s\n", group, what, detail);
    ++failed;
}

void appendOutput(struct Output* output, const char* bytes, size_t n)
{
    if (output->length + n + 1 > output->capacity) {
        size_t capacity = output->capacity ? output->capacity : 8192;
        while (capacity < output->length + n + 1 && capacity < kOutputLimit)
            capacity *= 2;
        char* grown = realloc(output->text, capacity);
        if (!grown)
            return;
        output->text = grown;
        output->capacity = capacity;
    }
    if (output->length + n + 1 > output->capacity)
        n = output->capacity - output->length - 1;
    memcpy(output->text + output->length, bytes, n);
    output->length += n;
    output->text[output->length] = '\0';
}

size_t groupCount(void)
{
    size_t shared = 0;
    size_t own = 0;
    contractGroups(&shared);
    systemGroups(&own);
    return shared + own;
}

const struct Group* groupAt(size_t i)
{
    size_t shared = 0;
    size_t own = 0;
    const struct Group* common = contractGroups(&shared);
    const struct Group* system = systemGroups(&own);
    return i < shared ? &common[i] : &system[i - shared];
}

void runGroup(const char* path, const struct Group* group)
{
    struct Library lib;
    if (!loadLibrary(path, &lib))
        return;
    if (!group->needsBoth || usable(&lib))
        group->run(&lib);
    fprintf(out, "done\n");
    fflush(out);
    unloadLibrary(&lib);
    fprintf(out, "unloaded\n");
    fflush(out);
}

/* Prints the check lines of text and counts them; sets *done and *unloaded
 * when the child said it had finished its checks and unloaded the library. */
static void tally(char* text, int* done, int* unloaded)
{
    for (char* line = strtok(text, "\n"); line; line = strtok(NULL, "\n")) {
        if (strcmp(line, "done") == 0)
            *done = 1;
        else if (strcmp(line, "unloaded") == 0)
            *unloaded = 1;
        else {
            printf("%s\n", line);
            if (strncmp(line, "FAIL", 4) == 0)
                ++failed;
            else
                ++passed;
        }
    }
}

/* Says how a child that did not finish normally ended: a hang, a fault while
 * loaded or while being unloaded, or an exit of its own. */
static void reportEnd(const struct Group* group, const struct ChildEnd* end, int done, int unloaded)
{
    char detail[64];
    if (end->timedOut) {
        snprintf(detail, sizeof detail, "%d s", kGroupSeconds);
        fail(group->name, "the library did not return within ", detail);
    } else if (end->fault) {
        fail(group->name, done ? "the library faulted while being unloaded: " : "the library faulted: ", end->fault);
    } else if (!unloaded || end->status != 0) {
        snprintf(detail, sizeof detail, "%ld", end->status);
        fail(group->name, "the library ended the process, exit status ", detail);
    }
}

/* Runs group i in a child process and reports its lines and how it ended. */
static void runChecked(const char* path, size_t i)
{
    struct Output output = {NULL, 0, 0};
    struct ChildEnd end = {0, NULL, 0};
    fflush(stdout);
    if (runIsolated(path, i, &output, &end)) {
        int done = 0;
        int unloaded = 0;
        tally(output.text ? output.text : "", &done, &unloaded);
        reportEnd(groupAt(i), &end, done, unloaded);
    }
    free(output.text);
}

/* The library's full path from the argument; null, after a FAIL line, when it names no regular file. */
static const char* libraryPath(const char* argument, char* full, size_t size)
{
    /* A bare name is the file in the current folder, never one the loader's search finds. */
    char given[4096];
    const int bare = strpbrk(argument, "/\\") == NULL;
    snprintf(given, sizeof given, "%s%s", bare ? "./" : "", argument);
    const char* path = fullPathOf(given, full, size);
    if (!path) {
        printf("FAIL: cannot find %s\n", given);
        return NULL;
    }
    if (!isRegularFile(path)) {
        printf("FAIL: %s is not a regular file\n", path);
        return NULL;
    }
    return path;
}

int main(int argc, char** argv)
{
    const int childStatus = runAsChild(argc, argv);
    if (childStatus >= 0)
        return childStatus;
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(usage, stdout);
        return 0;
    }
    if (argc != 2) {
        fputs(usage, stderr);
        return 2;
    }
    char full[4096];
    const char* path = libraryPath(argv[1], full, sizeof full);
    if (!path)
        return 1;
    printf("checking %s\n", path);
    for (size_t i = 0; i < groupCount(); ++i)
        runChecked(path, i);
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
