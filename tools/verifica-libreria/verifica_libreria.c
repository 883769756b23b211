/* verifica-libreria: an outside program in plain C, as another maker would
 * write it. It loads the conversion library by path, finds its two functions
 * and the counted-string allocator by name, and checks the library's contract
 * both ways, refusing what the programs refuse. Each group of checks runs in a
 * child process of its own, which loads and unloads the library, so that a
 * fault, an abort, an early exit, a stop or a hang becomes a FAIL line. The
 * child's lines carry a token the parent chose for it: a line the library
 * writes is not taken for one of them. */
#include "tools/verifica-libreria/checker.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

static const char usage[] =
    "Usage: verifica-libreria [-h | --help] [-V | --version] [--] LIBRARY\n"
    "Checks that LIBRARY (a path, or a file name in the current folder) keeps the\n"
    "conversion library's contract: its exports, and both functions at the programs'\n"
    "size (50000 bytes), around it, at 0 to 257 bytes and up to 1 MiB, three calls\n"
    "at each size with content holding every byte value. Prints one line per check;\n"
    "exits with status 0 when every check passed, 1 otherwise, 2 on wrong usage.\n"
    "'--' ends the options, for a LIBRARY whose name begins with '-'.\n";

FILE* out;
char lineToken[24];

/* A child's lines past this are dropped: no group writes nearly as much. */
enum { kOutputLimit = 1 << 20 };

static int passed;
static int failed;

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

int groupSeconds(void)
{
    const char* scale = getenv("VC_TEST_TIME_SCALE");
    const long factor = scale ? strtol(scale, NULL, 10) : 1;
    return kGroupSeconds * (factor > 1 && factor <= 100 ? (int)factor : 1);
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

void checkKey(const struct Check* c, char* key, size_t size)
{
    if (c->bytes == kNoSize)
        snprintf(key, size, "%s", c->name);
    else
        snprintf(key, size, "%s (%ld %s)", c->name, c->bytes, c->bytes == 1 ? "byte" : "bytes");
}

/* Writes a line to out at once, so that nothing is lost however the child ends. */
void childLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    fprintf(out, "%s ", lineToken);
    vfprintf(out, format, args);
    fputc('\n', out);
    fflush(out);
    va_end(args);
}

/* Makes one check and writes its line. */
static void runCheck(struct Library* lib, const struct Check* c)
{
    char key[128];
    char why[512] = "";
    checkKey(c, key, sizeof key);
    int held = c->run(lib, c->bytes == kNoSize ? 0 : (size_t)c->bytes, why, sizeof why);
    const int lost = held ? lostDescriptor() : -1;
    if (lost >= 0) {
        snprintf(why, sizeof why, "expected the process's descriptors left open, got descriptor %d closed or replaced",
                 lost);
        held = 0;
    }
    if (held)
        childLine("ok  : %s", key);
    else
        childLine("FAIL: %s: %s", key, why);
}

void runGroup(const char* path, const struct Group* group)
{
    struct Library lib;
    startIdleThread();
    threadsBeforeLoading = threadCount();
    noteDescriptors();
    if (!loadLibrary(path, &lib))
        return;
    childLine("loaded");
    if (group->needsBoth && !usable(&lib))
        childLine("skipped");
    else
        for (size_t i = 0; i < group->count; ++i)
            runCheck(&lib, &group->checks[i]);
    childLine("done");
    unloadLibrary(&lib);
    childLine("unloaded");
}

/* A child's lines, split in place and stripped of its token, and what they
 * said besides its checks; forged is the first line without the token. */
struct Lines {
    char** line;
    size_t count;
    int loaded, skipped, done, unloaded, refused;
    const char* forged;
    const char* sent;    /* the signal the library sent the child's parent, if it did */
    const char* stopped; /* the signal that stopped the child for good, if one did */
};

/* Whether lines hold exactly text. */
static int holds(const struct Lines* lines, const char* text)
{
    for (size_t i = 0; i < lines->count; ++i)
        if (strcmp(lines->line[i], text) == 0)
            return 1;
    return 0;
}

/* Splits text into lines, notes what the child said of itself and prints
 * its refusal to load the library, if any. */
static void readLines(char* text, struct Lines* lines)
{
    size_t most = 1;
    for (const char* c = text; *c; ++c)
        most += *c == '\n';
    const size_t tokenLength = strlen(lineToken);
    lines->line = malloc(most * sizeof *lines->line);
    lines->count = 0;
    lines->forged = NULL;
    for (char* l = strtok(text, "\n"); l && lines->line; l = strtok(NULL, "\n")) {
        if (strncmp(l, lineToken, tokenLength) == 0 && l[tokenLength] == ' ')
            lines->line[lines->count++] = l + tokenLength + 1;
        else if (!lines->forged)
            lines->forged = l;
    }
    lines->loaded = holds(lines, "loaded");
    lines->skipped = holds(lines, "skipped");
    lines->done = holds(lines, "done");
    lines->unloaded = holds(lines, "unloaded");
    lines->refused = 0;
    lines->sent = NULL;
    lines->stopped = NULL;
    for (size_t i = 0; i < lines->count; ++i) {
        if (strncmp(lines->line[i], "sent ", 5) == 0)
            lines->sent = lines->line[i] + 5;
        if (strncmp(lines->line[i], "stopped ", 8) == 0)
            lines->stopped = lines->line[i] + 8;
    }
    for (size_t i = 0; i < lines->count; ++i)
        if (strncmp(lines->line[i], "FAIL: cannot load ", 18) == 0 && !lines->refused) {
            printf("%s\n", lines->line[i]);
            ++failed;
            lines->refused = 1;
        }
}

/* The line reporting the check named key, or null when the child never reported it. */
static const char* lineOf(const struct Lines* lines, const char* key)
{
    const size_t k = strlen(key);
    for (size_t i = 0; i < lines->count; ++i) {
        const char* l = lines->line[i];
        const char* rest = strncmp(l, "ok  : ", 6) == 0 || strncmp(l, "FAIL: ", 6) == 0 ? l + 6 : NULL;
        if (rest && strncmp(rest, key, k) == 0 && (rest[k] == '\0' || rest[k] == ':'))
            return l;
    }
    return NULL;
}

/* Prints and counts the group's checks the child reported; returns the index
 * of the first it never reported (the group's count when none). */
static size_t reportChecks(const struct Group* group, const struct Lines* lines)
{
    size_t firstMissing = group->count;
    for (size_t i = 0; i < group->count; ++i) {
        char key[128];
        checkKey(&group->checks[i], key, sizeof key);
        const char* line = lineOf(lines, key);
        if (!line) {
            firstMissing = i < firstMissing ? i : firstMissing;
            continue;
        }
        printf("%s\n", line);
        if (strncmp(line, "FAIL", 4) == 0)
            ++failed;
        else
            ++passed;
    }
    return firstMissing;
}

/* Says how a child that did not end normally ended (a hang, a fault while
 * loaded or while being unloaded, an exit of the library's own), naming
 * where: the check it was making, or the group. Returns whether it said so. */
static int reportEnd(const char* where, const struct ChildEnd* end, const struct Lines* lines)
{
    char detail[64];
    if (lines->sent) {
        fail(where, "the library sent its process's parent ", lines->sent);
    } else if (end->timedOut) {
        snprintf(detail, sizeof detail, "%d s", groupSeconds());
        fail(where, "the library did not return within ", detail);
    } else if (end->stop || lines->stopped) {
        fail(where, "the library stopped the process: ", end->stop ? end->stop : lines->stopped);
    } else if (end->fault) {
        fail(where, lines->done ? "the library faulted while being unloaded: " : "the library faulted: ", end->fault);
    } else if ((!lines->unloaded || end->status != 0) && !lines->refused) {
        snprintf(detail, sizeof detail, "%ld", end->status);
        fail(where, "the library ended the process, exit status ", detail);
    } else {
        return 0;
    }
    return 1;
}

/* Fails each of the group's checks from index from on that the child never
 * reported, naming them; skip is one already failed by name. */
static void reportNeverRan(const struct Group* group, const struct Lines* lines, size_t from, size_t skip)
{
    char names[4096] = "";
    size_t missing = 0;
    for (size_t i = from; i < group->count; ++i) {
        char key[128];
        checkKey(&group->checks[i], key, sizeof key);
        if (i == skip || lineOf(lines, key))
            continue;
        const size_t used = strlen(names);
        snprintf(names + used, sizeof names - used, "%s%s", missing ? ", " : "", key);
        ++missing;
    }
    if (missing) {
        printf("FAIL: %zu checks never ran: %s\n", missing, names);
        failed += (int)missing;
    }
}

/* Reports group's checks from the child's lines and how the child ended; 0 when the library did not load. */
static int report(const struct Group* group, char* text, const struct ChildEnd* end)
{
    struct Lines lines;
    readLines(text, &lines);
    if (lines.forged) {
        char shown[96];
        snprintf(shown, sizeof shown, "'%.80s'", lines.forged);
        fail(group->name, "the library wrote into the checker's channel: ", shown);
    }
    const size_t firstMissing = reportChecks(group, &lines);
    char where[128] = "loading the library";
    if (lines.loaded && firstMissing < group->count && !lines.skipped)
        checkKey(&group->checks[firstMissing], where, sizeof where);
    else if (lines.loaded)
        snprintf(where, sizeof where, "%s", group->name);
    const int named = reportEnd(where, end, &lines) && lines.loaded && firstMissing < group->count;
    if (lines.skipped) {
        printf("FAIL: %zu checks of %s never ran: a function or the allocator is missing\n", group->count,
               group->name);
        failed += (int)group->count;
    } else if (lines.loaded) {
        reportNeverRan(group, &lines, 0, named ? firstMissing : group->count);
    }
    free(lines.line);
    return lines.loaded;
}

/* Runs group i in a child process and reports it; 0 when the library did not load. */
static int runChecked(const char* path, size_t i)
{
    struct Output output = {NULL, 0, 0};
    struct ChildEnd end = {0, NULL, NULL, 0};
    fflush(stdout);
    chooseToken();
    int loaded = 1;
    if (runIsolated(path, i, &output, &end)) {
        char empty[1] = "";
        loaded = report(groupAt(i), output.text ? output.text : empty, &end);
    }
    for (const char* signal = takeRefusedSignal(); signal; signal = takeRefusedSignal())
        fail(groupAt(i)->name, "the library sent the checker ", signal);
    free(output.text);
    return loaded;
}

/* Fails every check of the groups from index from on: the library did not load. */
static void failUnloaded(size_t from)
{
    size_t missing = 0;
    for (size_t i = from; i < groupCount(); ++i)
        missing += groupAt(i)->count;
    printf("FAIL: %zu checks never ran: the library did not load\n", missing);
    failed += (int)missing;
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
        printf("FAIL: cannot find %s%s\n", argument, bare ? " in the current folder" : "");
        return NULL;
    }
    if (!isRegularFile(path)) {
        printf("FAIL: %s is not a regular file\n", path);
        return NULL;
    }
    return path;
}

/* Says on one line what is wrong with the command line, and where to read how
 * it goes; the status of a usage error. */
static int usageError(const char* what, const char* argument)
{
    fprintf(stderr, "verifica-libreria: %s%s%s%s; try 'verifica-libreria --help'\n", what, argument ? " '" : "",
            argument ? argument : "", argument ? "'" : "");
    return 2;
}

/* Whether argument is one of the two spellings given. */
static int is(const char* argument, const char* shortName, const char* longName)
{
    return strcmp(argument, shortName) == 0 || strcmp(argument, longName) == 0;
}

/* The library argument of argv; null, with *status set, when the command line asks for something else. */
static const char* libraryArgument(int argc, char** argv, int* status)
{
    const char* library = NULL;
    int optionsEnded = 0;
    *status = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!optionsEnded && strcmp(a, "--") == 0) {
            optionsEnded = 1;
        } else if (!optionsEnded && is(a, "-h", "--help")) {
            fputs(usage, stdout);
            return NULL;
        } else if (!optionsEnded && is(a, "-V", "--version")) {
            printf("verifica-libreria %s\n", VC_VERSION_TEXT);
            return NULL;
        } else if (!optionsEnded && a[0] == '-' && a[1] != '\0') {
            *status = usageError("unknown option", a);
            return NULL;
        } else if (library) {
            *status = usageError("one LIBRARY at a time, not also", a);
            return NULL;
        } else {
            library = a;
        }
    }
    if (!library)
        *status = usageError("missing LIBRARY, the library to check", NULL);
    return library;
}

int main(int argc, char** argv)
{
    const int childStatus = runAsChild(argc, argv);
    if (childStatus >= 0)
        return childStatus;
    int status = 0;
    const char* argument = libraryArgument(argc, argv, &status);
    if (!argument)
        return status;
    char full[4096];
    const char* path = libraryPath(argument, full, sizeof full);
    if (!path)
        return 1;
    refuseSignalsFromChildren();
    printf("checking %s\n", path);
    for (size_t i = 0; i < groupCount(); ++i)
        if (!runChecked(path, i)) {
            failUnloaded(i);
            break;
        }
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
