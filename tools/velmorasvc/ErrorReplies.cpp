#include "ErrorReplies.h"

#include "common/ComError.h"
#include "common/StringUtils.h"
#include "vaultfeed/bus/SdBus.h"

#include <exception>

namespace Velmorasvc {

using namespace Vaultfeed::Bus;

int ReplyError(sd_bus_message* pCall, const ServiceError& error, const std::string& strMessage, HRESULT hr)
{
    const std::string strName = ErrorName(error);
    // sd-bus leaves an empty message out, and the HRESULT would then come first. Not freed: the
    // texts are the caller's (sd-bus's own macro for this is a C compound literal).
    const sd_bus_error busError{
        .name = strName.c_str(), .message = strMessage.empty() ? "-" : strMessage.c_str(), ._need_free = 0};
    sd_bus_message* pReply = nullptr;
    int r = sd_bus_message_new_method_error(pCall, &pReply, &busError);
    if (r < 0)
        return r;
    const MessagePtr reply(pReply);
    const std::uint32_t uHr = HResultBits(hr);
    if ((r = sd_bus_message_append_basic(pReply, 'u', &uHr)) < 0 || (r = sd_bus_send(nullptr, pReply, nullptr)) < 0)
        return r;
    return 1;
}

int ReplyCurrentException(sd_bus_message* pCall)
{
    try {
        throw;
    } catch (const UTIL::COM::_com_error& e) {
        return ReplyError(pCall, kDatabaseFailed, WideToNarrow(e.Description()), e.Error());
    } catch (const std::exception& e) {
        return ReplyError(pCall, kFailed, e.what(), E_FAIL);
    } catch (...) {
        return ReplyError(pCall, kFailed, "Unexpected failure.", E_FAIL);
    }
}

std::string PrintableName(std::string_view strName)
{
    std::string strText;
    for (const unsigned char c : strName) {
        if (c < 0x20 || c >= 0x7f)
            strText += FormatA("\\x%02x", c);
        else
            strText += static_cast<char>(c);
    }
    return strText;
}

} // namespace Velmorasvc
