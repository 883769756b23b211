/* The structured exceptions that count as fatal faults on Windows, with the
 * names reports give them: one list for the programs' fault paths and the
 * contract checker. Plain C, since the checker is a C program. */
#ifndef PLATFORM_FAULT_CODES_WIN_H
#define PLATFORM_FAULT_CODES_WIN_H

#include <windows.h>

static const struct FaultCode {
    DWORD code;
    const char* name;
} kFaultCodes[] = {
    {EXCEPTION_ACCESS_VIOLATION, "EXCEPTION_ACCESS_VIOLATION"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"},
    {EXCEPTION_DATATYPE_MISALIGNMENT, "EXCEPTION_DATATYPE_MISALIGNMENT"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
    {EXCEPTION_FLT_INVALID_OPERATION, "EXCEPTION_FLT_INVALID_OPERATION"},
    {EXCEPTION_FLT_OVERFLOW, "EXCEPTION_FLT_OVERFLOW"},
    {EXCEPTION_ILLEGAL_INSTRUCTION, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    {EXCEPTION_IN_PAGE_ERROR, "EXCEPTION_IN_PAGE_ERROR"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
    {EXCEPTION_INT_OVERFLOW, "EXCEPTION_INT_OVERFLOW"},
    {EXCEPTION_PRIV_INSTRUCTION, "EXCEPTION_PRIV_INSTRUCTION"},
    {EXCEPTION_STACK_OVERFLOW, "EXCEPTION_STACK_OVERFLOW"},
};

/* The code that stands for abort(), which raises no exception: chosen among
 * the codes left to programs, so that no system exception has it. */
static const DWORD kAbortCode = 0xE0000001;

/* The name of the fatal fault code stands for; null when code is no fatal fault. */
static inline const char* faultCodeName(DWORD code)
{
    for (size_t i = 0; i < sizeof kFaultCodes / sizeof kFaultCodes[0]; ++i)
        if (kFaultCodes[i].code == code)
            return kFaultCodes[i].name;
    return NULL;
}

#endif
