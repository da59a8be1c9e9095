#include "platform/window_system.h"

#include <ostream>

namespace zor {

bool MessageQueue::take(WindowMessage& message) {
    if (messages_.empty()) return false;
    message = messages_.front();
    messages_.pop_front();
    return true;
}

void writeMessageBoxLine(std::ostream& out, std::string_view caption, std::string_view text) {
    out << caption << ": " << text << '\n';
    out.flush();
}

}  // namespace zor
