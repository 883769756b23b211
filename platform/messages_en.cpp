// The error messages in English, the kit's language.
#include "platform/message_tables.h"

namespace platform::messages {

constexpr Table kEnglish = {{
    {Message::reportHeading, "error %1:"},

    {Message::verbatim, "%1"},
    {Message::exitStatus, "exit status %1"},
    {Message::signalNumber, "signal %1"},
    {Message::exceptionCode, "exception 0x%1"},
    {Message::stoppedBySignal, "stopped by signal %1"},
    {Message::signalFromProgram, "%1 sent to the supervisor by one of the program's processes"},
    {Message::unknownReason, "unknown reason"},
    {Message::systemErrorCode, "system error %1"},
    {Message::notAWindowsLibrary, "not a Windows library (%1)"},
    {Message::otherBitnessLibrary, "a %1-bit library: the programs are %2-bit (%3)"},
    {Message::otherProcessorLibrary, "a library for another processor (%1)"},
    {Message::dependencyNotFound, "it needs '%1', which Windows finds neither beside it nor in the system folder (%2)"},

    {Message::overflow, "overflow: the result does not fit in 32 bits"},
    {Message::outOfMemory, "out of memory"},
    {Message::subscriptOutOfRange, "subscript out of range"},
    {Message::internalError, "internal error: %1"},
    {Message::unknownInternalError, "unknown internal error"},
    {Message::noConversionLibrary, "no conversion library for this run"},

    {Message::libraryNotFound, "cannot find library '%1'"},
    {Message::libraryNotFoundInSearchPath, "cannot find library '%1' in '%2' nor in the system's search path: %R"},
    {Message::libraryNotFoundInSystemFolder, "cannot find library '%1' in '%2' nor in the system folder: %R"},
    {Message::libraryNotLoadable, "cannot load library '%1': %R"},
    {Message::libraryNotRegularFile, "cannot load library '%1': not a regular file"},
    {Message::functionNotFound, "cannot find function '%1' in library '%2': %R"},
    {Message::exportNotAFunction, "cannot find function '%1' in library '%2': the exported symbol is not a function"},
    {Message::descriptorLost, "the library closed a descriptor of the program (%1, library '%2')"},
    {Message::stringNotLive,
     "function '%1' of library '%2' returned an invalid string: not a live string allocated with "
     "SysAllocStringByteLen (never allocated, or already freed)"},
    {Message::stringOverlong,
     "function '%1' of library '%2' returned an invalid string: the length it declares exceeds the one it was "
     "allocated with"},

    {Message::functionFaulted, "function '%1' of library '%2' failed: %R"},
    {Message::loadingFaulted, "library '%1' failed while loading: %R"},
    {Message::exitFaulted, "library '%1' failed as the program ended: %R"},
    {Message::faultedOutsideCall,
     "the program failed outside a call into library '%1' (on a thread of the library or at exit): %R"},
    {Message::programFaulted, "the program failed: %R"},
    {Message::endedInCall, "the program ended during a call to '%1' of library '%2': %R"},
    {Message::endedWhileLoading, "the program ended while loading library '%1': %R"},
    {Message::endedOutsideCall, "the program ended outside a call into library '%1': %R"},
    {Message::endedUnexpectedly, "the program ended unexpectedly: %R"},

    {Message::cannotFindProgramFolder, "cannot find the program's folder: %R"},
    {Message::cannotSetCurrentFolder, "cannot make '%1' the current folder: %R"},
    {Message::cannotSetCurrentDrive, "cannot make '%1' the current drive: %R"},
    {Message::cannotReadTickCounter, "cannot read the millisecond counter: %R"},
    {Message::cannotReadMonotonicClock, "cannot read the monotonic clock: %R"},
    {Message::cannotReadCounterFrequency, "cannot read the performance counter's frequency: %R"},
    {Message::cannotReadPerformanceCounter, "cannot read the performance counter: %R"},
    {Message::cannotRegisterWindowClass, "cannot register the window class: %R"},
    {Message::cannotCreateWindow, "cannot create the window: %R"},
    {Message::cannotCreateControls, "cannot create the window's controls: %R"},
    {Message::cannotFindOwnFile, "cannot find this program's file: %R"},
    {Message::cannotStartMeasuringProcess, "cannot start a measuring process: %R"},
    {Message::cannotStartLoadRehearsal, "cannot start the load rehearsal: %R"},

    {Message::measuringEnded, "the measuring process of %1 ended: %R"},
    {Message::measuringEndedMidWork, "the measuring process of %1 ended with status 0 in the middle of its work"},
    {Message::measuringEndedAfterWork, "the measuring process of %1 ended after its work: %R"},
    {Message::measuringAnswered, "the measuring process of %1 answered '%2'"},
    {Message::measuringCheckAnswered, "the measuring process of %1 gave '%2' for its check"},
    {Message::unknownRequest, "unknown request '%1'"},
    {Message::measuringSentSignal, "a measuring process sent %1 to the command measuring it"},

    {Message::channelForeignLine, "a line on its channel that is not its own ('%1')"},
    {Message::channelOverlongLine, "a line on its channel longer than any answer"},
    {Message::channelSilent, "no acknowledgement of a request within %1 s"},
    {Message::channelClosedWhileRunning, "its channel closed while it still ran"},
}};
static_assert(complete(kEnglish), "every message needs its English template, in the identifiers' order");

} // namespace platform::messages
