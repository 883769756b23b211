// The processes and their rounds. A batch goes to one process at a time and
// the parent waits for its answer, so no two measurements ever share the
// processor; the rounds' cores and orders follow the schedule.
#include "tools/misura-libreria/session.h"

#include "platform/codepage.h"
#include "platform/error_text.h"
#include "platform/hires_clock.h"
#include "platform/library.h"
#include "tools/misura-libreria/format.h"
#include "tools/misura-libreria/processes.h"
#include "tools/misura-libreria/protocol.h"
#include "tools/misura-libreria/schedule.h"
#include "tools/misura-libreria/targets.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace misura {

namespace {

// Without --runs, each round of a case takes about this long per participant:
// short, so that the participants of a round see the machine alike.
constexpr std::int64_t kRoundBudgetNs = 10000000;
// Large enough that the text's copying outweighs the rest, small enough to take milliseconds.
constexpr std::int32_t kCalibrationBytes = 32768;

std::filesystem::path pathOf(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string timeLeft(double seconds)
{
    return seconds < 1 ? std::string("under 1 s left") : "about " + roughDuration(seconds) + " left";
}

int index(Conversion c)
{
    return c == Conversion::BytesToText ? 0 : 1;
}

double secondsSince(std::int64_t start)
{
    return static_cast<double>(platform::monotonicNanoseconds() - start) / 1e9;
}

// The report of error 51 with message, about whoever is measured in p, and its reason when given.
std::string measuringError(const Participant& p, platform::Message message, const platform::MessageView* reason = nullptr,
                           const std::string& line = {})
{
    const platform::RuntimeError error(platform::kInternalError, {message, {p.label.c_str(), line.c_str()}}, reason);
    return platform::reportLine(platform::describe(error), platform::Language::english);
}

} // namespace

std::vector<CaseKey> caseKeys(const Options& options)
{
    std::vector<CaseKey> keys;
    for (const std::int32_t bytes : options.sizes)
        for (const Conversion c : {Conversion::BytesToText, Conversion::TextToBytes})
            if (options.conversions == Conversions::Both
                || (options.conversions == Conversions::BytesToText) == (c == Conversion::BytesToText))
                keys.push_back({bytes, c});
    return keys;
}

Session::Session(const Options& options, ProgressFn progress, ErrorFn error)
    : options_(options), progress_(std::move(progress)), error_(std::move(error)), cores_(usableCores())
{
    const auto add = [&](ServeMode mode, std::string label) {
        participants_.push_back({std::move(mode), std::move(label), {}, {}, {}, {}, {}, nullptr});
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
    keys_ = caseKeys(options_);
    for (Participant& p : participants_) {
        std::error_code ec;
        // The file named and no other: the system's search must not find another in its place.
        if (p.mode.kind == ServeMode::Library && !std::filesystem::exists(pathOf(p.mode.path), ec)) {
            try {
                platform::raiseLibraryNotFound(p.mode.path);
            } catch (...) {
                fail(p, protocol::errorLine(std::current_exception()));
            }
        }
    }
    clockStepNs_ = std::max(clockStep(platform::monotonicNanoseconds), platform::monotonicResolution());
}

Session::~Session() = default;

void Session::fail(Participant& p, const std::string& report)
{
    if (!p.error.empty())
        return;
    // The platform's reports name a library by its file name, which two builds share.
    const bool named = p.mode.kind != ServeMode::Library || report.find(p.mode.path) != std::string::npos
                    || report.find(p.label) != std::string::npos;
    p.error = named ? report : report + " (measuring " + p.mode.path + ")";
    p.child.reset();
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
        return p.child->leftAnswer();
    // A library may write on the child's output too: its lines are not answers.
    for (;;) {
        std::optional<std::string> answer = p.child->receive();
        if (!answer || answer->starts_with("result ") || answer->starts_with("checked ") || answer->starts_with("error "))
            return answer;
    }
}

std::optional<BatchResult> Session::ask(Participant& p, const Batch& batch)
{
    if (!p.error.empty() || !p.child)
        return std::nullopt;
    const std::int64_t asked = platform::monotonicNanoseconds();
    const std::optional<std::string> line = request(p, protocol::batchLine(batch));
    const double answered = secondsSince(asked);
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
    measuringSeconds_ += answer->result.seconds;
    waitingSeconds_ += std::max(0.0, answered - answer->result.seconds);
    return std::move(answer->result);
}

void Session::checkEveryByte(Participant& p, Conversion conversion)
{
    if (!p.error.empty())
        return;
    const std::optional<std::string> line = request(p, "check " + std::to_string(index(conversion)));
    if (!line)
        childEnded(p);
    else if (line->starts_with("checked "))
        p.wrong[index(conversion)] = line->substr(8);
    else
        failWith(p, *line, platform::Message::measuringCheckAnswered);
}

void Session::startProcesses()
{
    for (Participant& p : participants_) {
        if (!p.error.empty())
            continue;
        try {
            p.child = std::make_unique<Child>(serveArguments(p.mode));
        } catch (...) {
            fail(p, protocol::errorLine(std::current_exception()));
        }
    }
}

void Session::endProcesses()
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
        p.child.reset();
    }
}

void Session::firstCalls(std::size_t i)
{
    Participant& p = participants_[i];
    // Each conversion's repetition timed once, at its smallest and largest size, for the estimates.
    std::vector<std::pair<double, double>> timed[2];
    for (const Conversion conversion : {Conversion::BytesToText, Conversion::TextToBytes}) {
        std::optional<std::int32_t> smallest, largest;
        for (const CaseKey& k : keys_)
            if (k.conversion == conversion) {
                smallest = std::min(smallest.value_or(k.bytes), k.bytes);
                largest = std::max(largest.value_or(k.bytes), k.bytes);
            }
        if (!smallest)
            continue;
        const bool library = p.method() == core::Method::Library;
        // The in-program routines' process only shows it has started: the parent estimates their times.
        Batch first{{conversion, p.method(), library ? *smallest : 1, library}, 1, 0, 1};
        const std::optional<BatchResult> r = ask(p, first);
        if (!r || !library)
            return;
        p.firstCall[index(conversion)] = r->firstCall;
        p.binding[index(conversion)] = r->binding;
        timed[index(conversion)].emplace_back(*smallest, r->run);
        if (r->call && r->run > 0)
            callShare_[i][index(conversion)] = std::clamp(*r->call / r->run, 1e-6, 1.0);
        checkEveryByte(p, conversion);
        if (*largest != *smallest)
            if (const auto at = ask(p, {{conversion, p.method(), *largest}, 1, 0, 1, 0, 1}))
                timed[index(conversion)].emplace_back(*largest, at->run);
    }
    for (std::size_t k = 0; k < keys_.size(); ++k) {
        const auto& points = timed[index(keys_[k].conversion)];
        if (points.empty())
            continue;
        // Between the two sizes timed, as a power of the size; in proportion to it from one.
        const double exponent = points.size() < 2 ? 1.0
            : std::clamp(std::log(points[1].second / points[0].second) / std::log(points[1].first / points[0].first), 0.0, 2.0);
        repetitionSeconds_[i][k] = points[0].second * std::pow(keys_[k].bytes / points[0].first, exponent);
    }
}

void Session::labelParticipants()
{
    std::vector<std::string> paths;
    for (const Participant& p : participants_)
        if (p.method() == core::Method::Library)
            paths.push_back(p.path.empty() ? p.mode.path : p.path);
    const std::vector<std::string> labels = distinguishingLabels(paths);
    for (std::size_t i = 0, l = 0; i < participants_.size(); ++i)
        if (participants_[i].method() == core::Method::Library && !labels[l].empty())
            participants_[i].label = labels[l++];
}

double Session::prepare()
{
    started_ = platform::monotonicNanoseconds();
    const core::RunEnvironment env{nullptr, core::systemTicks(), u",", platform::ansiCodePage()};
    const Bench bench{env, platform::monotonicNanoseconds};
    for (const CaseKey& k : keys_)
        inProgramSeconds_.push_back(inProgramSecondsAt(k.conversion, k.bytes, kCalibrationBytes, bench));
    repetitionSeconds_.assign(participants_.size(), inProgramSeconds_);
    callShare_.assign(participants_.size(), {1, 1});
    startProcesses();
    for (std::size_t i = 0; i < participants_.size(); ++i)
        firstCalls(i);
    startSeconds_ = std::max(0.0, secondsSince(started_) - measuringSeconds_);
    for (std::size_t i = 0; i < participants_.size(); ++i)
        batchOverhead_ += pilot(participants_[i]) / static_cast<double>(participants_.size());
    labelParticipants();
    cases_.assign(keys_.size(), {});
    for (std::size_t k = 0; k < keys_.size(); ++k)
        for (const Participant& p : participants_)
            cases_[k].push_back({p.method() == core::Method::Library ? (p.path.empty() ? p.mode.path : p.path) : "",
                                 p.label, keys_[k].conversion, p.method(), keys_[k].bytes,
                                 p.firstCall[index(keys_[k].conversion)], p.binding[index(keys_[k].conversion)], {}, {}});
    expected_ = expectedTotal();
    return expected_ + secondsSince(started_);
}

double Session::pilot(Participant& p)
{
    // Two batches of the rounds' length converting one byte, on two cores: what a batch takes
    // beyond its length on this machine now (waking the process, moving it to its core).
    double beyond = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        Batch b{{keys_.front().conversion, p.method(), 1}, 0, kRoundBudgetNs, 0, sampleNs()};
        b.core = cores_[i % cores_.size()];
        const std::int64_t start = platform::monotonicNanoseconds();
        if (!ask(p, b))
            return 0;
        beyond += std::max(0.0, secondsSince(start) - static_cast<double>(kRoundBudgetNs) / 1e9) / 2;
    }
    return beyond;
}

double Session::expectedBatch(std::size_t i, std::size_t key, std::size_t process, std::size_t round) const
{
    const Batch b = batchFor(i, key, process, round);
    const double repetition = repetitionSeconds_[i][key];
    // A library's samples are sized on its call, a part of the run.
    const double share = callShare_[i][index(keys_[key].conversion)];
    const double sample = std::max(repetition, static_cast<double>(b.sampleNs) / 1e9 / share);
    double seconds = b.samples ? static_cast<double>(b.samples) * sample
                               : std::max(static_cast<double>(b.budgetNs) / 1e9, sample);
    // Sizing: a few samples growing tenfold, each short one timed thrice; a long one once.
    const double sizing = sample < 100 * static_cast<double>(b.sampleNs) / 1e9 ? 4 * sample : sample;
    seconds += static_cast<double>(b.warmup) * repetition + (round == 0 ? sizing : 0);
    seconds += (b.checkFirst + b.checkLast) * (inProgramSeconds_[key] + repetition);
    return seconds + batchOverhead_;
}

double Session::expectedTotal() const
{
    double seconds = startSeconds_ * static_cast<double>(options_.processes - 1);
    for (std::size_t process = 0; process < options_.processes; ++process)
        for (std::size_t key = 0; key < keys_.size(); ++key)
            for (std::size_t round = 0; round < options_.rounds; ++round)
                for (std::size_t i = 0; i < participants_.size(); ++i)
                    if (participants_[i].error.empty())
                        seconds += expectedBatch(i, key, process, round);
    return seconds;
}

Batch Session::batchFor(std::size_t i, std::size_t key, std::size_t process, std::size_t round) const
{
    const Participant& p = participants_[i];
    const bool library = p.method() == core::Method::Library;
    Batch b{{keys_[key].conversion, p.method(), keys_[key].bytes}};
    b.samples = options_.runs.value_or(0);
    b.budgetNs = kRoundBudgetNs;
    // Sized in each process's first round, and kept for its others.
    const std::vector<Process>& done = cases_.empty() ? std::vector<Process>{} : cases_[key][i].processes;
    b.perSample = round == 0 || done.empty() ? 0 : done.back().perSample;
    b.referencePerSample = round == 0 || done.empty() ? 0 : done.back().referencePerSample;
    b.sampleNs = sampleNs();
    // The full warm-up before a process's first round; before the others, whose caches another
    // process has had since, one repetition when a repetition is short beside a sample.
    b.warmup = round == 0 ? options_.warmup : b.perSample > 1 ? std::min<std::size_t>(options_.warmup, 1) : 0;
    b.core = roundCore(process, round, cores_);
    b.checkFirst = library && process == 0 && round == 0;
    b.checkLast = library && process + 1 == options_.processes && round + 1 == options_.rounds;
    return b;
}

void Session::tell(std::size_t key, std::size_t process, std::size_t round, const Participant& p)
{
    std::string eta;
    if (expectedDone_ > 0) {
        // The estimate left, scaled by how the estimate for what is done has held.
        const double scale = secondsSince(started_) / (expectedDone_ + startSeconds_);
        eta = "; " + timeLeft(std::max(0.0, expected_ - expectedDone_) * scale);
    }
    progress_(std::string(conversionId(keys_[key].conversion)) + ", " + std::to_string(keys_[key].bytes)
              + " bytes, process " + std::to_string(process + 1) + "/" + std::to_string(options_.processes)
              + ", round " + std::to_string(round + 1) + "/" + std::to_string(options_.rounds) + ": " + p.label + eta);
}

void Session::record(std::size_t i, std::size_t key, std::size_t round, const BatchResult& result)
{
    Case& c = cases_[key][i];
    if (round == 0)
        c.processes.push_back({result.perSample, result.referencePerSample, {}});
    c.processes.back().rounds.push_back({result.run, result.call, result.reference, result.samples, result.core});
    if (c.wrong.empty())
        c.wrong = result.wrong;
}

void Session::measureKey(std::size_t process, std::size_t key)
{
    const std::size_t n = participants_.size();
    for (std::size_t round = 0; round < options_.rounds; ++round)
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t i = roundTurn(process, round, k, n);
            Participant& p = participants_[i];
            if (!p.error.empty())
                continue;
            tell(key, process, round, p);
            const std::optional<BatchResult> result = ask(p, batchFor(i, key, process, round));
            expectedDone_ += expectedBatch(i, key, process, round);
            if (result)
                record(i, key, round, *result);
        }
}

std::vector<Case> Session::measure()
{
    for (std::size_t process = 0; process < options_.processes; ++process) {
        if (process > 0) {
            startProcesses();
            expectedDone_ += startSeconds_;
        }
        for (std::size_t key = 0; key < keys_.size(); ++key)
            measureKey(process, key);
        endProcesses();
    }
    std::vector<Case> cases;
    for (std::size_t key = 0; key < keys_.size(); ++key)
        for (std::size_t i = 0; i < participants_.size(); ++i) {
            const Participant& p = participants_[i];
            Case c = cases_[key][i];
            if (!p.error.empty() || c.processes.empty())
                continue;
            if (const std::string& every = p.wrong[index(c.conversion)]; !every.empty())
                c.wrong = every;
            cases.push_back(std::move(c));
        }
    return cases;
}

} // namespace misura
