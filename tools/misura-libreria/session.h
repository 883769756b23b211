// The parent's side of a measurement. Each library (and the in-program
// routines) is measured in several fresh processes, one after another; in
// each, every case is measured in rounds in which every participant in turn
// runs a batch on the same core, so that whatever drifts on the machine, and
// whichever core is slower, hits all alike.
#pragma once

#include "platform/messages.h"
#include "tools/misura-libreria/options.h"
#include "tools/misura-libreria/results.h"
#include "tools/misura-libreria/serve.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace misura {

class Child;

// One library measured (or the in-program routines), in its processes.
struct Participant {
    ServeMode mode;
    std::string label;    // as the report names it
    std::string path;     // the library's file once loaded
    std::string error;    // the report that ended its measurement; empty while it runs
    std::string wrong[2]; // what the check on every byte value found wrong, per conversion
    std::optional<double> firstCall[2], binding[2]; // each conversion's first call
    std::unique_ptr<Child> child;
    core::Method method() const { return mode.kind == ServeMode::InProgram ? core::Method::InProgram : core::Method::Library; }
};

// One block size and conversion, as every participant measures it.
struct CaseKey {
    std::int32_t bytes;
    Conversion conversion;
};

// The cases options ask for: at each size, each conversion asked for.
std::vector<CaseKey> caseKeys(const Options& options);

// Told what is going on between batches ("bytes-to-text, 50000 bytes, process 3/10, round 2/4: a.so; about 4 s left").
using ProgressFn = std::function<void(const std::string&)>;
// Told each report that ends a participant's measurement, as it happens.
using ErrorFn = std::function<void(const std::string&)>;

class Session {
public:
    // The participants the options ask for; a library that does not exist ends
    // its own measurement with error 53. Nothing is started yet.
    Session(const Options& options, ProgressFn progress, ErrorFn error);
    ~Session();

    // The cases to measure: at each size, each conversion asked for.
    const std::vector<CaseKey>& keys() const { return keys_; }
    // Starts the first processes, times each library's first call of each
    // conversion and checks it on every byte value: the seconds the measurement
    // is then expected to take.
    double prepare();
    // Measures every case in every process: the cases, by key and then by participant.
    std::vector<Case> measure();

    const std::vector<Participant>& participants() const { return participants_; }
    // The seconds the processes spent measuring.
    double measuringSeconds() const { return measuringSeconds_; }
    // The seconds beyond those that the answers took: the processes waiting for their turn on the processor.
    double waitingSeconds() const { return waitingSeconds_; }
    // The processors the rounds took in turn.
    const std::vector<int>& cores() const { return cores_; }
    // The clock's step and the time each sample lasts at least, in nanoseconds.
    std::int64_t clockStepNs() const { return clockStepNs_; }
    std::int64_t sampleNs() const { return 1000 * clockStepNs_; }

private:
    Options options_;
    ProgressFn progress_;
    ErrorFn error_;
    std::vector<Participant> participants_;
    std::vector<CaseKey> keys_;
    std::vector<int> cores_;
    std::int64_t clockStepNs_ = 1;
    std::vector<std::vector<Case>> cases_;               // by key, then participant
    std::vector<std::vector<double>> repetitionSeconds_; // by participant, then key: for the estimates
    std::vector<std::array<double, 2>> callShare_;       // by participant, then conversion: the call's part of a run
    std::vector<double> inProgramSeconds_;               // by key: one in-program repetition, for the checks
    double startSeconds_ = 0;                            // a round of fresh processes' start
    double batchOverhead_ = 0;                           // what a batch takes beyond its own time
    double expected_ = 0, expectedDone_ = 0, measuringSeconds_ = 0, waitingSeconds_ = 0;
    std::int64_t started_ = 0;

    void fail(Participant& p, const std::string& report);
    // Ends p's measurement with the error its answer line carries, or, for a
    // line that is no answer, with error 51 as message unexpected says.
    void failWith(Participant& p, const std::string& line, platform::Message unexpected);
    void childEnded(Participant& p);
    std::optional<std::string> request(Participant& p, const std::string& line);
    std::optional<BatchResult> ask(Participant& p, const Batch& batch);
    void checkEveryByte(Participant& p, Conversion conversion);
    void startProcesses();
    void endProcesses();
    void firstCalls(std::size_t i);
    double pilot(Participant& p);
    void labelParticipants();
    double expectedBatch(std::size_t i, std::size_t key, std::size_t process, std::size_t round) const;
    double expectedTotal() const;
    Batch batchFor(std::size_t i, std::size_t key, std::size_t process, std::size_t round) const;
    void measureKey(std::size_t process, std::size_t key);
    void record(std::size_t i, std::size_t key, std::size_t round, const BatchResult& result);
    void tell(std::size_t key, std::size_t process, std::size_t round, const Participant& p);
};

} // namespace misura
