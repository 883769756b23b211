// The two tables of messages: every identifier rendered in both languages with
// all its arguments and its reason, each language free of the other's words;
// rendering into a small buffer; and how a process's end is worded.
#include "platform/ending.h"
#include "platform/error_text.h"
#include "platform/messages.h"
#include "platform/runtime_error.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#endif

using namespace platform;

namespace {

constexpr Language kLanguages[] = {Language::italian, Language::english};

// The lower-case words of text, letters only.
std::set<std::string> wordsOf(const std::string& text)
{
    std::set<std::string> words;
    std::string word;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const auto c = static_cast<unsigned char>(i < text.size() ? text[i] : ' ');
        if (std::isalpha(c)) {
            word += static_cast<char>(std::tolower(c));
        } else if (!word.empty()) {
            words.insert(word);
            word.clear();
        }
    }
    return words;
}

// Words each language has and the other must not: a template left untranslated.
const std::set<std::string> kItalianOnly = {"impossibile", "libreria", "della", "funzione", "programma", "stato",
                                            "segnale", "eccezione", "errore", "il", "la", "di", "non", "trovare"};
const std::set<std::string> kEnglishOnly = {"cannot", "library", "the", "failed", "error", "signal", "exit",
                                            "status", "function", "program", "of", "while", "unknown", "find"};

} // namespace

// Every identifier, in both languages: a template with the same arguments and
// reason in each, every argument and the reason in the rendered text, no
// placeholder left, and no word of the other language.
TEST(Messages, EveryIdentifierIsRenderedWholeInBothLanguages)
{
    const MessageView reason{Message::verbatim, {"<reason>"}};
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        const auto id = static_cast<Message>(i);
        const MessageShape shape = shapeOf(id);
        ASSERT_LE(shape.arguments, kMaxArguments);
        const MessageView message{id, {"<1>", "<2>", "<3>", "<4>"}};
        for (const Language language : kLanguages) {
            const std::string name = "message " + std::to_string(i) + (language == Language::italian ? " (it)" : " (en)");
            const std::string text = messageTemplate(language, id);
            ASSERT_FALSE(text.empty()) << name;
            for (std::size_t n = 1; n <= shape.arguments; ++n)
                EXPECT_NE(text.find({'%', static_cast<char>('0' + n)}), std::string::npos) << name << " lacks %" << n;
            EXPECT_EQ(text.find("%R") != std::string::npos, shape.reason) << name;
            const std::string rendered = renderMessage(language, message, &reason);
            EXPECT_EQ(rendered.find('%'), std::string::npos) << name << ": " << rendered;
            EXPECT_EQ(rendered.find("<reason>") != std::string::npos, shape.reason) << name << ": " << rendered;
            for (const std::string& word : wordsOf(text))
                EXPECT_EQ((language == Language::italian ? kEnglishOnly : kItalianOnly).count(word), 0u)
                    << name << " has '" << word << "': " << text;
            if (language == Language::english) {
                for (const char c : text)
                    EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80) << name << " is not plain English: " << text;
            }
        }
    }
}

// The report as the user reads it, in each language, cut short in a small buffer but never overrun.
TEST(Messages, ReportWordingAndBounds)
{
    const RuntimeError missing(kFileNotFound, Message::libraryNotFound, {"/x/libquendril.so"});
    char text[128];
    formatReport(text, sizeof text, Language::italian, describe(missing), "\n\n");
    EXPECT_STREQ(text, "Errore di run-time '53':\n\nimpossibile trovare la libreria '/x/libquendril.so'");
    EXPECT_EQ(reportLine(describe(missing), Language::english), "error 53: cannot find library '/x/libquendril.so'");
    char small[12];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(formatReport(small, 10, Language::italian, describe(missing), " "),
              std::strlen("Errore di run-time '53': impossibile trovare la libreria '/x/libquendril.so'"));
    EXPECT_STREQ(small, "Errore di");
    EXPECT_EQ(small[10], 'x');
    // A reason rendered in the same language as its message.
    const RuntimeError ended(kInternalError, Message::endedInCall, {"xrQuendril", "q.so"}, {Message::exitStatus, {"7"}});
    EXPECT_EQ(ended.description(Language::italian),
              "il programma è terminato durante una chiamata a 'xrQuendril' della libreria 'q.so': stato di uscita 7");
    EXPECT_STREQ(ended.what(), "the program ended during a call to 'xrQuendril' of library 'q.so': exit status 7");
}

// How a process ended, worded once for every report that tells it.
TEST(Messages, EndingsInBothLanguages)
{
    const auto words = [](const Ending& ending, Language language) { return renderMessage(language, ending.view()); };
    EXPECT_EQ(words(endingWithStatus(-1), Language::italian), "stato di uscita -1");
    EXPECT_EQ(words(endingWithStatus(3), Language::english), "exit status 3");
#ifdef _WIN32
    EXPECT_EQ(words(endingOfExitCode(0xC0000005ul), Language::italian), "EXCEPTION_ACCESS_VIOLATION");
    EXPECT_EQ(words(endingOfExitCode(0xC0000409ul), Language::english), "exception 0xC0000409");
    EXPECT_EQ(words(endingOfExitCode(0xFFFFFFFFul), Language::english), "exit status -1");
    EXPECT_EQ(words(endingOfException(0xE0000001ul), Language::italian), "abort");
#else
    EXPECT_EQ(words(endingOfWaitStatus(W_EXITCODE(4, 0)), Language::english), "exit status 4");
    EXPECT_EQ(words(endingOfWaitStatus(SIGSEGV), Language::italian), sigdescr_np(SIGSEGV));
    EXPECT_EQ(words(endingOfSignal(100), Language::italian), "segnale 100");
    EXPECT_EQ(words(endingOfSignal(100), Language::english), "signal 100");
#endif
}
