// The rounds. A batch goes to one child at a time and the parent waits for its
// answer, so no two measurements ever share the processor. Odd rounds visit
// the children in reverse order, so that none always runs right after another.
#include "tools/misura-libreria/session.h"

#include "platform/codepage.h"
#include "platform/error_text.h"
#include "platform/hires_clock.h"
#include "platform/library.h"
#include "tools/misura-libreria/processes.h"
#include "tools/misura-libreria/protocol.h"
#include "tools/misura-libreria/targets.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace misura {

namespace {

constexpr std::size_t kRounds = 10;
// Without --runs, each case takes about a second per participant.
constexpr std::int64_t kRoundBudgetNs = 100000000;
// Large enough that the text's copying outweighs the rest, small enough to take milliseconds.
constexpr std::int32_t kCalibrationBytes = 32768;

std::filesystem::path pathOf(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string timeLeft(double seconds)
{
    return seconds < 1 ? std::string("under 1 s left") : "about " + std::to_string(std::lround(seconds)) + " s left";
}

int index(Conversion c)
{
    return c == Conversion::BytesToText ? 0 : 1;
}

// The report of error 51 with message, about whoever is measured in p, and its reason when given.
std::string measuringError(const Participant& p, platform::Message message, const platform::MessageView* reason = nullptr,
                           const std::string& line = {})
{
    const platform::RuntimeError error(platform::kInternalError, {message, {p.label.c_str(), line.c_str()}}, reason);
    return platform::reportLine(platform::describe(error), platform::Language::english);
}

} // namespace

Session::Session(const Options& options, ProgressFn progress, ErrorFn error)
    : options_(options), progress_(std::move(progress)), error_(std::move(error))
{
    const auto add = [&](ServeMode mode, std::string label) {
        participants_.push_back({std::move(mode), std::move(label), {}, {}, {}, {false, false}, nullptr});
    };
    if (options_.methods != Methods::InProgram) {
        // Absolute now, so that nothing a library does to the current folder moves the others.
        for (const std::string& named : options_.libraries)
            add({ServeMode::Library, settledPath(named)}, named);
        if (options_.libraries.empty())
            add({ServeMode::Default, {}}, "the programs' library");
    }
    if (options_.methods != Methods::Library)
        add({ServeMode::InProgram, {}}, "in-program routines");
    for (Participant& p : participants_) {
        try {
            std::error_code ec;
            // The file named and no other: the system's search must not find another in its place.
            if (p.mode.kind == ServeMode::Library && !std::filesystem::exists(pathOf(p.mode.path), ec))
                platform::raiseLibraryNotFound(p.mode.path);
            p.child = std::make_unique<Child>(serveArguments(p.mode));
        } catch (...) {
            fail(p, protocol::errorLine(std::current_exception()));
        }
    }
    started_ = platform::monotonicNanoseconds();
}

Session::~Session() = default;

std::vector<CaseKey> Session::keys() const
{
    std::vector<CaseKey> keys;
    for (const std::int32_t bytes : options_.sizes) {
        if (options_.conversions != Conversions::TextToBytes)
            keys.push_back({bytes, Conversion::BytesToText});
        if (options_.conversions != Conversions::BytesToText)
            keys.push_back({bytes, Conversion::TextToBytes});
    }
    return keys;
}

void Session::fail(Participant& p, const std::string& report)
{
    if (!p.error.empty())
        return;
    // The platform's reports name a library by its file name, which two builds share.
    const bool named = p.mode.kind != ServeMode::Library || report.find(p.mode.path) != std::string::npos
                    || report.find(p.label) != std::string::npos;
    p.error = named ? report : report + " (measuring " + p.mode.path + ")";
    error_(p.error);
}

void Session::failWith(Participant& p, const std::string& line, platform::Message unexpected)
{
    if (const std::optional<platform::RuntimeError> error = protocol::parseError(line))
        fail(p, platform::reportLine(platform::describe(*error), platform::Language::english));
    else
        fail(p, measuringError(p, unexpected, nullptr, line));
}

void Session::childEnded(Participant& p)
{
    const std::optional<platform::Ending> how = p.child->ending();
    if (!how) {
        fail(p, measuringError(p, platform::Message::measuringEndedMidWork));
        return;
    }
    const platform::MessageView reason = how->view();
    fail(p, measuringError(p, platform::Message::measuringEnded, &reason));
}

std::optional<std::string> Session::request(Participant& p, const std::string& line)
{
    if (!p.child->send(line))
        return std::nullopt;
    // A library may write on the child's output too: its lines are not answers.
    for (;;) {
        std::optional<std::string> answer = p.child->receive();
        if (!answer || answer->starts_with("result ") || answer->starts_with("checked ") || answer->starts_with("error "))
            return answer;
    }
}

std::optional<BatchResult> Session::ask(Participant& p, const Batch& batch)
{
    if (!p.error.empty())
        return std::nullopt;
    const std::optional<std::string> line = request(p, protocol::batchLine(batch));
    if (!line) {
        childEnded(p);
        return std::nullopt;
    }
    std::optional<protocol::Answer> answer = protocol::parseResult(*line);
    if (!answer) {
        failWith(p, *line, platform::Message::measuringAnswered);
        return std::nullopt;
    }
    if (!answer->path.empty())
        p.path = answer->path;
    return std::move(answer->result);
}

void Session::checkEveryByte(Participant& p, Conversion conversion)
{
    const std::optional<std::string> line = request(p, "check " + std::to_string(index(conversion)));
    if (!line)
        childEnded(p);
    else if (line->starts_with("checked "))
        p.wrong[index(conversion)] = line->substr(8);
    else
        failWith(p, *line, platform::Message::measuringCheckAnswered);
}

std::size_t Session::rounds() const
{
    return options_.runs ? std::min(*options_.runs, kRounds) : kRounds;
}

void Session::tell(const CaseKey& key, std::size_t round, const Participant& p)
{
    const std::size_t total = keys().size() * rounds() * participants_.size();
    std::string eta;
    if (batchesDone_ > 0) {
        const double elapsed = static_cast<double>(platform::monotonicNanoseconds() - started_) / 1e9;
        eta = "; " + timeLeft(elapsed / static_cast<double>(batchesDone_)
                              * static_cast<double>(total - std::min(total, batchesDone_)));
    }
    progress_(std::string(conversionId(key.conversion)) + ", " + std::to_string(key.bytes) + " bytes, round "
              + std::to_string(round + 1) + "/" + std::to_string(rounds()) + ": " + p.label + eta);
}

Batch Session::batchFor(const Participant& p, const CaseKey& key, std::size_t round) const
{
    const bool library = p.method() == core::Method::Library;
    const std::size_t n = rounds();
    Batch b{{key.conversion, p.method(), key.bytes, library && !p.called[index(key.conversion)]}};
    if (options_.runs)
        b.runs = *options_.runs / n + (round < *options_.runs % n ? 1 : 0);
    else
        b.budgetNs = kRoundBudgetNs;
    // The full warm-up before a case's first round; one repetition before the others, whose
    // caches another child has had since.
    b.warmup = round == 0 ? options_.warmup : std::min<std::size_t>(options_.warmup, 1);
    b.checkFirst = library && round == 0;
    b.checkLast = library && round + 1 == n;
    return b;
}

double Session::inProgramEstimate() const
{
    const auto inProgram = std::find_if(participants_.begin(), participants_.end(),
                                        [](const Participant& p) { return p.method() == core::Method::InProgram; });
    if (inProgram == participants_.end())
        return 0;
    const core::RunEnvironment env{nullptr, core::systemTicks(), u",", platform::ansiCodePage()};
    const Bench bench{env, platform::monotonicNanoseconds};
    double seconds = 0;
    for (const CaseKey& key : keys()) {
        std::size_t repetitions = 0;
        for (std::size_t round = 0; round < rounds(); ++round) {
            const Batch b = batchFor(*inProgram, key, round);
            repetitions += b.warmup + std::max<std::size_t>(b.runs, 1);
        }
        seconds += static_cast<double>(repetitions)
                 * inProgramSecondsAt(key.conversion, key.bytes, kCalibrationBytes, bench);
    }
    return seconds;
}

std::vector<Case> Session::measure(const CaseKey& key)
{
    std::vector<std::vector<BatchResult>> results(participants_.size());
    for (std::size_t round = 0; round < rounds(); ++round)
        for (std::size_t k = 0; k < participants_.size(); ++k) {
            const std::size_t i = round % 2 ? participants_.size() - 1 - k : k;
            Participant& p = participants_[i];
            const Batch batch = batchFor(p, key, round);
            tell(key, round, p);
            std::optional<BatchResult> result = ask(p, batch);
            ++batchesDone_;
            if (!result)
                continue;
            results[i].push_back(std::move(*result));
            if (batch.spec.firstCall) {
                p.called[index(key.conversion)] = true;
                checkEveryByte(p, key.conversion);
            }
        }
    std::vector<Case> cases;
    for (std::size_t i = 0; i < participants_.size(); ++i)
        if (participants_[i].error.empty() && !results[i].empty())
            cases.push_back(caseOf(participants_[i], key, results[i]));
    return cases;
}

Case Session::caseOf(const Participant& p, const CaseKey& key, const std::vector<BatchResult>& batches) const
{
    Case c{p.method() == core::Method::Library ? (p.path.empty() ? p.mode.path : p.path) : std::string(),
           key.conversion, p.method(), key.bytes, batches.front().firstCall, batches.front().binding, {}, {}, {},
           std::nullopt,
           p.wrong[index(key.conversion)]};
    for (const BatchResult& b : batches) {
        c.times.insert(c.times.end(), b.times.begin(), b.times.end());
        c.calls.insert(c.calls.end(), b.calls.begin(), b.calls.end());
        if (c.wrong.empty())
            c.wrong = b.wrong;
    }
    c.summary = summarize(c.times);
    if (!c.calls.empty())
        c.call = summarize(c.calls);
    return c;
}

void Session::finish()
{
    for (Participant& p : participants_) {
        if (!p.error.empty() || !p.child)
            continue;
        p.child->send("quit");
        if (const std::optional<platform::Ending> how = p.child->ending()) {
            // The report its supervisor sent of that end, when one came, says what the library did.
            if (const std::optional<std::string> last = p.child->receive(); last && protocol::parseError(*last)) {
                failWith(p, *last, platform::Message::measuringEndedAfterWork);
                continue;
            }
            const platform::MessageView reason = how->view();
            fail(p, measuringError(p, platform::Message::measuringEndedAfterWork, &reason));
        }
    }
}

} // namespace misura
