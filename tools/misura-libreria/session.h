// The parent's side of a measurement: one child per library (and one for the
// in-program routines), each case measured in rounds in which every child in
// turn runs a batch, so that whatever drifts on the machine hits all alike.
#pragma once

#include "platform/messages.h"
#include "tools/misura-libreria/measure.h"
#include "tools/misura-libreria/options.h"
#include "tools/misura-libreria/serve.h"

#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

namespace misura {

class Child;

// One library measured (or the in-program routines), in its own child.
struct Participant {
    ServeMode mode;
    std::string label;  // as the user named it, or "in-program routines"
    std::string path;   // the library's file once loaded
    std::string error;  // the report that ended its measurement; empty while it runs
    std::string wrong[2]; // what the check on every byte value found wrong, per conversion
    bool called[2] = {false, false}; // whether each conversion's function has been called
    std::unique_ptr<Child> child;
    core::Method method() const { return mode.kind == ServeMode::InProgram ? core::Method::InProgram : core::Method::Library; }
};

// One block size and conversion, as every participant measures it.
struct CaseKey {
    std::int32_t bytes;
    Conversion conversion;
};

// Told what is going on between batches ("bytes-to-text, 50000 bytes, round 3/10: old.so; about 4 s left").
using ProgressFn = std::function<void(const std::string&)>;
// Told each report that ends a participant's measurement, as it happens.
using ErrorFn = std::function<void(const std::string&)>;

class Session {
public:
    // The participants the options ask for, each started in its child; a
    // library that does not exist ends its own measurement with error 53.
    Session(const Options& options, ProgressFn progress, ErrorFn error);
    ~Session();

    // The cases to measure: at each size, each conversion asked for.
    std::vector<CaseKey> keys() const;
    // The seconds the in-program routines' cases will take at least, from one
    // short conversion timed here; 0 when they are not measured.
    double inProgramEstimate() const;
    // Measures one case with every participant still running: their cases, in the participants' order.
    std::vector<Case> measure(const CaseKey& key);
    // Ends the children.
    void finish();

    const std::vector<Participant>& participants() const { return participants_; }

private:
    Options options_;
    ProgressFn progress_;
    ErrorFn error_;
    std::vector<Participant> participants_;
    std::size_t batchesDone_ = 0;
    std::int64_t started_ = 0;

    void fail(Participant& p, const std::string& report);
    // Ends p's measurement with the error its answer line carries, or, for a
    // line that is no answer, with error 51 as message unexpected says.
    void failWith(Participant& p, const std::string& line, platform::Message unexpected);
    void childEnded(Participant& p);
    std::optional<std::string> request(Participant& p, const std::string& line);
    std::optional<BatchResult> ask(Participant& p, const Batch& batch);
    void checkEveryByte(Participant& p, Conversion conversion);
    std::size_t rounds() const;
    Batch batchFor(const Participant& p, const CaseKey& key, std::size_t round) const;
    void tell(const CaseKey& key, std::size_t round, const Participant& p);
    Case caseOf(const Participant& p, const CaseKey& key, const std::vector<BatchResult>& batches) const;
};

} // namespace misura
