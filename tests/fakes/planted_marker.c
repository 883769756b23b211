/* A library planted where no program should look: when loaded, it leaves the
 * file named by VC_MARKER_FILE, so a test can tell that it ran. */
#include <stdio.h>
#include <stdlib.h>

__attribute__((constructor)) static void markLoaded(void)
{
    const char* path = getenv("VC_MARKER_FILE");
    FILE* f = path ? fopen(path, "w") : NULL;
    if (f)
        fclose(f);
}
