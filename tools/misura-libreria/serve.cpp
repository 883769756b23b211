// The child's loop, on the channel its parent gave it (processes.h). Every
// answer is written at once, so that the parent waits on nothing a fault could
// lose; after every batch the program's own state is checked, as after a run
// in the programs.
#include "tools/misura-libreria/serve.h"

#include "core/quendril_library.h"
#include "platform/codepage.h"
#include "platform/heap.h"
#include "platform/hires_clock.h"
#include "platform/library.h"
#include "platform/runtime_error.h"
#include "tools/misura-libreria/processes.h"
#include "tools/misura-libreria/protocol.h"

#include <exception>
#include <iostream>
#include <memory>
#include <stdexcept>

namespace misura {

namespace {

void answer(ParentChannel& channel, const std::string& line)
{
    if (!channel.answer(line))
        throw std::runtime_error("cannot answer on the measuring channel");
}

std::unique_ptr<core::QuendrilLibrary> openLibrary(const ServeMode& mode)
{
    if (mode.kind == ServeMode::InProgram)
        return nullptr;
    // Started ahead, as the programs start it once their window shows.
    std::unique_ptr<core::QuendrilLibrary> library;
    if (mode.kind == ServeMode::Default) {
        library = core::programsLibrary();
    } else {
        // The file named and no other: the parent made its path absolute and found it there.
        const auto slash = mode.path.find_last_of("/\\");
        library = std::make_unique<core::QuendrilLibrary>(mode.path.substr(0, slash + 1), mode.path.substr(slash + 1));
    }
    library->prepare();
    return library;
}

// Answers one line of the parent's; false for "quit".
bool answerLine(ParentChannel& channel, const std::string& line, const Bench& bench,
                const core::QuendrilLibrary* library)
{
    if (line == "quit")
        return false;
    if (const auto batch = protocol::parseBatch(line)) {
        const BatchResult result = measureBatch(*batch, bench);
        if (library)
            library->reclaimProgramState();
        answer(channel, protocol::resultLine(result, library ? library->loadedPath() : std::string()));
    } else if (line.starts_with("check ") && (line == "check 0" || line == "check 1")) {
        const auto conversion = static_cast<Conversion>(line.back() - '0');
        const std::string difference = checkEveryByteValue(conversion, bench.env);
        if (library)
            library->reclaimProgramState();
        answer(channel, "checked " + difference);
    } else {
        throw platform::RuntimeError(platform::kInternalError, platform::Message::unknownRequest, {line});
    }
    return true;
}

} // namespace

std::optional<ServeMode> serveMode(const std::vector<std::string>& args)
{
    if (args.size() == 2 && args[0] == "--serve-library")
        return ServeMode{ServeMode::Library, args[1]};
    if (args.size() == 1 && args[0] == "--serve-default")
        return ServeMode{ServeMode::Default, {}};
    if (args.size() == 1 && args[0] == "--serve-in-program")
        return ServeMode{ServeMode::InProgram, {}};
    return std::nullopt;
}

std::vector<std::string> serveArguments(const ServeMode& mode)
{
    switch (mode.kind) {
    case ServeMode::Library:
        return {"--serve-library", mode.path};
    case ServeMode::Default:
        return {"--serve-default"};
    default:
        return {"--serve-in-program"};
    }
}

int serve(const ServeMode& mode)
{
    ignoreInterrupts();
    std::optional<ParentChannel> channel = ParentChannel::join();
    if (!channel) {
        std::cerr << "misura-libreria: measuring process: its channel to the command is not open\n";
        return 1;
    }
    try {
        // Measured as the programs run once warm, not as the allocator's first trims and page faults.
        platform::keepFreedMemory();
        const std::unique_ptr<core::QuendrilLibrary> library = openLibrary(mode);
        const core::RunEnvironment env{library.get(), core::systemTicks(), u",", platform::ansiCodePage()};
        const Bench bench{env, platform::monotonicNanoseconds};
        while (const std::optional<std::string> line = channel->request())
            if (!answerLine(*channel, *line, bench, library.get()))
                break;
        return 0;
    } catch (...) {
        return serveFault(std::current_exception());
    }
}

int serveFault(const std::exception_ptr& fault)
{
    // Without its channel the error still reaches the command's standard error, where this
    // process's own output goes.
    std::optional<ParentChannel> channel = ParentChannel::join();
    if (!channel || !channel->lastAnswer(protocol::errorAnswer(fault)))
        std::cerr << "misura-libreria: measuring process: " << protocol::errorLine(fault) << '\n';
    return 1;
}

} // namespace misura
