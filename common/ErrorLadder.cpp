#include "common/ErrorLadder.h"

#include "common/ComError.h"
#include "common/Exceptions.h"
#include "common/StringUtils.h"

#include <exception>
#include <new>

namespace UTIL::ERR {
namespace {

// Text that may not be built when memory is short: then the result carries none.
template <class MakeText> std::wstring TextOrEmpty(MakeText&& makeText) noexcept
{
    try {
        return makeText();
    } catch (...) {
        return {};
    }
}

} // namespace

CaughtException ClassifyCurrentException() noexcept
{
    try {
        throw;
    } catch (const COM::_com_error& e) {
        return {ExceptionKind::ComError, e.Error(), TextOrEmpty([&] { return e.ErrorMessage(); })};
    } catch (const COM::CAtlException& e) {
        return {ExceptionKind::AtlException, e.GetHResult(), {}};
    } catch (const CComException& e) {
        return {ExceptionKind::ComException, e.GetHResult(), TextOrEmpty([&] { return NarrowToWide(e.what()); })};
    } catch (const std::bad_alloc&) {
        return {ExceptionKind::BadAlloc, E_OUTOFMEMORY, {}};
    } catch (const std::exception& e) {
        return {ExceptionKind::Standard, E_FAIL, TextOrEmpty([&] { return NarrowToWide(e.what()); })};
    } catch (...) {
        return {ExceptionKind::Unknown, E_UNEXPECTED, {}};
    }
}

} // namespace UTIL::ERR
