// StringConsumer: receives texts one at a time from a producer; the base does nothing.
#pragma once

namespace vantry {

class StringConsumer {
public:
    virtual ~StringConsumer() = default;
    virtual void Consume(const char * /*text*/) {}
};

} // namespace vantry
