// What the measuring processes do the same on every system: a measuring
// child's channel, named in its environment, and the frames on it.
#include "tools/misura-libreria/processes.h"

#include "platform/isolation/hand_over.h"
#include "tools/misura-libreria/process_io.h"
#include "tools/misura-libreria/protocol.h"

#include <cstdlib>
#include <string_view>

namespace misura {

namespace {

// The channel this process was started with ("TOKEN:IN:OUT"), once taken out of its environment.
std::string childChannel;
// Whether its descriptors have been taken as this process's own.
bool channelTaken = false;

struct Named {
    std::string token;
    long in = -1;
    long out = -1;
};

// The channel value names; its token empty when it names none.
Named namedIn(const std::string& value)
{
    const auto first = value.find(':');
    const auto second = value.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos)
        return {};
    char* end = nullptr;
    const long in = std::strtol(value.c_str() + first + 1, &end, 10);
    const long out = std::strtol(value.c_str() + second + 1, &end, 10);
    return {value.substr(0, first), in, out};
}

// Takes the channel's descriptors as this process's own, once; false when they are not open.
bool take(const Named& named)
{
    if (!channelTaken)
        channelTaken = io::takeChannel(named.in) && io::takeChannel(named.out);
    return channelTaken;
}

} // namespace

void markAsChild()
{
    const char* value = std::getenv(kChildVariable);
    if (!value || !childChannel.empty())
        return;
    childChannel = value;
    io::forgetVariable(kChildVariable);
    platform::isolation::setFreshImageVariable(kChildVariable, childChannel);
    take(namedIn(childChannel));
}

bool markedAsChild()
{
    return !childChannel.empty() || std::getenv(kChildVariable);
}

std::optional<ParentChannel> ParentChannel::join()
{
    const char* inherited = std::getenv(kChildVariable);
    const Named named = namedIn(childChannel.empty() && inherited ? inherited : childChannel);
    if (named.token.empty() || !take(named))
        return std::nullopt;
    ParentChannel channel;
    channel.token_ = named.token;
    channel.in_ = named.in;
    channel.out_ = named.out;
    return channel;
}

std::optional<std::string> ParentChannel::request()
{
    for (;;) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            const std::optional<protocol::Framed> framed = protocol::unframe(pending_.substr(0, end), token_);
            pending_.erase(0, end + 1);
            if (!framed || framed->number == protocol::kLastAnswer)
                return std::nullopt;
            number_ = framed->number;
            if (!write(number_, protocol::kAcknowledged))
                return std::nullopt;
            return framed->line;
        }
        char chunk[4096];
        const long n = io::stillGiven(in_) ? io::readSome(in_, chunk, sizeof chunk) : -1;
        if (n <= 0 || pending_.size() > protocol::kLongestLine)
            return std::nullopt;
        pending_.append(chunk, static_cast<std::size_t>(n));
    }
}

bool ParentChannel::answer(const std::string& line)
{
    return write(number_, line);
}

bool ParentChannel::lastAnswer(const std::string& line)
{
    return write(protocol::kLastAnswer, line);
}

bool ParentChannel::write(const std::string& number, const std::string& line)
{
    return io::stillGiven(out_) && io::writeAll(out_, protocol::frame(token_, number, line) + '\n');
}

} // namespace misura
