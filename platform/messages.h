// Every wording of the programs' and the kit's errors: a message identifier
// with its arguments, rendered from the Italian table (messages_it.cpp) or the
// English one (messages_en.cpp) into memory the caller owns, with no allocator
// and no lock, so that a fault handler may render one.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace platform {

enum class Language : unsigned char { italian, english };

// The language this program reports in: Italian unless set otherwise.
Language programLanguage() noexcept;
// Makes language the one this program reports in; called first in main.
void setProgramLanguage(Language language) noexcept;

// The messages. In the templates %1 to %4 are the arguments, given below, and
// %R the reason: another message, rendered in the same language. A new
// message goes here and at the same place in both tables, which the build
// checks; the test renders every one in both languages.
enum class Message : unsigned char {
    reportHeading, // %1 the error's number

    // The reasons, the last part of other messages.
    verbatim,      // %1 words no table holds: the system's own, a fault's name (number 1: the tests use it)
    exitStatus,    // %1 a process's exit status
    signalNumber,  // %1 the number of a signal the system gives no description
    exceptionCode, // %1 an exception code in hexadecimal
    stoppedBySignal,   // %1 the signal's name (SIGSTOP) that stopped a process for good
    signalFromProgram, // %1 the signal's name, sent to a supervisor from inside the program it watches
    unknownReason,
    systemErrorCode, // %1 the code of a failure the system has no words for
    // Why Windows did not load a library; the last argument the system's own message.
    notAWindowsLibrary,    // %1 the system's message
    otherBitnessLibrary,   // %1 the library's bits, %2 the programs', %3 the system's message
    otherProcessorLibrary, // %1 the system's message
    dependencyNotFound,    // %1 the library it needs, %2 the system's message

    // The numbered errors of the core.
    overflow,
    outOfMemory,
    subscriptOutOfRange,
    internalError, // %1 what a foreign exception says of itself
    unknownInternalError,
    noConversionLibrary,

    // Binding a library. %1 the library's path or file name, unless said otherwise.
    libraryNotFound,
    libraryNotFoundInSearchPath,   // %2 the folder searched first; %R
    libraryNotFoundInSystemFolder, // %2 the folder searched first; %R
    libraryNotLoadable,            // %R
    libraryNotRegularFile,
    functionNotFound,   // %1 function, %2 library; %R
    exportNotAFunction, // %1 function, %2 library
    descriptorLost,     // %1 the descriptor, %2 library
    stringNotLive,      // %1 function, %2 library
    stringOverlong,     // %1 function, %2 library

    // What faulted (%R the fault) and during what the program ended (%R how).
    functionFaulted,    // %1 function, %2 library
    loadingFaulted,     // %1 library
    exitFaulted,        // %1 library
    faultedOutsideCall, // %1 library
    programFaulted,
    endedInCall,       // %1 function, %2 library
    endedWhileLoading, // %1 library
    endedOutsideCall,  // %1 library
    endedUnexpectedly,

    // A system call that failed; %R its reason.
    cannotFindProgramFolder,
    cannotSetCurrentFolder, // %1 folder
    cannotSetCurrentDrive,  // %1 drive
    cannotReadTickCounter,
    cannotReadMonotonicClock,
    cannotReadCounterFrequency,
    cannotReadPerformanceCounter,
    cannotRegisterWindowClass,
    cannotCreateWindow,
    cannotCreateControls,
    cannotFindOwnFile,
    cannotStartMeasuringProcess,
    cannotStartLoadRehearsal,

    // The measuring processes of misura-libreria. %1 who is measured there.
    measuringEnded,          // %R how
    measuringEndedMidWork,
    measuringEndedAfterWork, // %R how
    measuringAnswered,       // %2 its line
    measuringCheckAnswered,  // %2 its line
    unknownRequest,          // %1 the line
    measuringSentSignal,     // %1 the signal's name

    // How a measuring process's channel failed, the reason of measuringEnded.
    channelForeignLine,   // %1 the line, cut short
    channelOverlongLine,
    channelSilent,        // %1 the seconds waited for an acknowledgement
    channelClosedWhileRunning,

    count
};

inline constexpr std::size_t kMessageCount = static_cast<std::size_t>(Message::count);
inline constexpr std::size_t kMaxArguments = 4;

// A message and its arguments (UTF-8), which point into memory someone else
// owns; an argument not given is null.
struct MessageView {
    Message id;
    std::array<const char*, kMaxArguments> arguments{};
};

// What a message takes, as its templates say: the number of its arguments and whether a reason follows.
struct MessageShape {
    std::size_t arguments;
    bool reason;
};
MessageShape shapeOf(Message message) noexcept;

// The template of message in language; that of unknownInternalError for an identifier out of range.
const char* messageTemplate(Language language, Message message) noexcept;

// A text in a buffer the caller owns, always terminated; what does not fit is cut off.
class Text {
public:
    constexpr Text(char* buffer, std::size_t size) noexcept : buffer_(buffer), size_(size) {}

    // Appends text.
    void append(const char* text) noexcept;
    // Appends the first length bytes of text.
    void append(const char* text, std::size_t length) noexcept;
    // Appends value in decimal.
    void appendNumber(unsigned long value) noexcept;
    // Appends value in decimal, with its sign.
    void appendSigned(long value) noexcept;
    // Appends value in hexadecimal, in capitals and eight digits at least.
    void appendHex(unsigned long value) noexcept;
    // Empties the text.
    void clear() noexcept;

    const char* data() const noexcept { return buffer_; }
    std::size_t length() const noexcept { return length_; }
    // The length the text would have, had nothing been cut off.
    std::size_t wanted() const noexcept { return wanted_; }

private:
    char* buffer_;
    std::size_t size_;
    std::size_t length_ = 0;
    std::size_t wanted_ = 0;
};

// Appends message rendered in language, with reason (when not null) where its template says %R.
void appendMessage(Text& out, Language language, const MessageView& message,
                   const MessageView* reason = nullptr) noexcept;

// The same as a string.
std::string renderMessage(Language language, const MessageView& message, const MessageView* reason = nullptr);

} // namespace platform
