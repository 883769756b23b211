/* What the contract checker's shared part and its per-OS part give each
 * other: the library as a group of checks sees it, the groups, the lines a
 * child process sends back and how that child ended. Plain C: the checker is
 * an outside program, as another maker would write it. */
#ifndef TOOLS_VERIFICA_LIBRERIA_CHECKER_H
#define TOOLS_VERIFICA_LIBRERIA_CHECKER_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef _WIN32
#define CALL __stdcall
#else
#define CALL
#endif

typedef uint16_t* BSTR;
typedef BSTR(CALL* XrQuendril)(const uint8_t*, int32_t);
typedef int32_t(CALL* XrStringToArray)(BSTR*, uint8_t*);
typedef BSTR(CALL* AllocByteLen)(const char*, uint32_t);
typedef void(CALL* FreeString)(BSTR);
typedef uint32_t(CALL* ByteLen)(BSTR);
typedef int (*StringCheck)(BSTR);

/* The library as a group of checks sees it. */
struct Library {
    void* handle;
    XrQuendril xrQuendril;
    XrStringToArray xrStringToArray;
    AllocByteLen alloc;
    FreeString release;
    ByteLen byteLen;
    StringCheck stringCheck; /* null where the system allocates */
};

/* One check: its name, the size in bytes it is made at (kNoSize for none),
 * and what makes it: 1 when it held, or 0 with "expected ..., got ..." in why. */
struct Check {
    const char* name;
    long bytes;
    int (*run)(struct Library* lib, size_t bytes, char* why, size_t size);
};
enum { kNoSize = -1 };

struct Group {
    const char* name;
    const struct Check* checks;
    size_t count;
    int needsBoth; /* runs only when both functions and the allocator are there */
};

/* What a child process wrote back, grown as it comes. */
struct Output {
    char* text;
    size_t length;
    size_t capacity;
};

/* How a child process running one group ended. */
struct ChildEnd {
    int timedOut;
    const char* fault; /* the signal or fault that ended it; null when it exited */
    const char* stop;  /* the signal that stopped it for good, when it was ended for that; null otherwise */
    long status;       /* its exit status when it exited */
};

/* How long a group may go without a check ending before it counts as hanging. */
enum { kGroupSeconds = 10 };
/* kGroupSeconds, times the factor VC_TEST_TIME_SCALE gives in the tests of a
 * slower build (sanitizers, Wine, an emulated PC), so that there a busy
 * machine alone never makes a group hang. */
int groupSeconds(void);

/* Where a group's lines go: the parent's pipe, or stdout where there is no child. */
extern FILE* out;
/* The token every line of a group's child starts with, chosen by the parent for that child. */
extern char lineToken[24];

/* Shared part. */

/* The number of groups, and group i of them. */
size_t groupCount(void);
const struct Group* groupAt(size_t i);
/* The threads the process had before the library was loaded. */
extern int threadsBeforeLoading;
/* The checks every system has, *count of them. */
const struct Group* contractGroups(size_t* count);
/* Whether both functions and the allocator are there to be called. */
int usable(const struct Library* lib);
/* Loads the library at path, runs group and unloads the library, writing to out. */
void runGroup(const char* path, const struct Group* group);
/* The name a check's line carries: "xrQuendril (50000 bytes)", or the bare name when it has no size. */
void checkKey(const struct Check* c, char* key, size_t size);
/* Prints a FAIL line of the parent's own about group and counts it. */
void fail(const char* group, const char* what, const char* detail);
/* Writes a line of a group's child to out, after its token, at once. */
void childLine(const char* format, ...);
/* Appends n bytes to output, up to a bound past which a child's lines are dropped. */
void appendOutput(struct Output* output, const char* bytes, size_t n);

/* Per-OS part. */

/* Loads the library at path and binds what the checks use; 0, after a FAIL line on out, when it cannot be loaded. */
int loadLibrary(const char* path, struct Library* lib);
/* Unloads what loadLibrary loaded. */
void unloadLibrary(struct Library* lib);
/* Whether address lies in the library's executable code: a function, or what
 * an indirect function resolved to, not data. */
int isFunction(const struct Library* lib, void* address);
/* The full path of given in buffer; null when there is no such file. */
const char* fullPathOf(const char* given, char* buffer, size_t size);
/* Whether path names a regular file. */
int isRegularFile(const char* path);
/* Runs group i against path in a child process, collecting its lines in output
 * and how it ended in end, and ends whatever that child started; 0, after a
 * FAIL line, when no child could be started. A hang is kGroupSeconds without a line. */
int runIsolated(const char* path, size_t i, struct Output* output, struct ChildEnd* end);
/* Fills lineToken from the system's random source. */
void chooseToken(void);
/* Keeps signals the checker's children (or their children) send it from ending or
 * stopping it; those from elsewhere act as usual. */
void refuseSignalsFromChildren(void);
/* The name of a signal refused since the last call, forgetting it; null when none. */
const char* takeRefusedSignal(void);
/* The number of threads the process has now. */
int threadCount(void);
/* Notes the descriptors the process has open now (nothing where there are none to note). */
void noteDescriptors(void);
/* The first noted descriptor that no longer refers to its file; -1 when none. */
int lostDescriptor(void);
/* Runs one group when argv makes this process a child and returns its exit status; -1 otherwise. */
int runAsChild(int argc, char** argv);
/* Waits ms milliseconds. */
void pauseMilliseconds(int ms);
/* Starts a thread that waits until the process ends, so that the library is
 * loaded and called with more than one thread alive, as in the programs. */
void startIdleThread(void);
/* How a library reaches the counted-string allocator on this system, for the FAIL line when it does not. */
const char* allocatorHint(void);
/* The groups only this system has, *count of them. */
const struct Group* systemGroups(size_t* count);

#endif
