#pragma once
// Calling a plug-in operation the way a messenger host does: the name through
// GetIDsOfNames, the arguments as variants through IDispatch::Invoke, in/out parameters by
// reference, whole numbers that fit in 16 bits as 16-bit integers (as script hosts pass
// literals), objects as nothing.
#include <windows.h>
#include <oaidl.h>

#include <string_view>
#include <vector>

#include "script/commands.h"
#include "script/format.h"

namespace velmora::testhost {

// A failure of the call comes back as VelmoraError: the exception's number and description
// for DISP_E_EXCEPTION, the HRESULT and the system's text for any other failure.
script::Answer CallByName(IDispatch& object, const script::Operation& operation,
                          std::vector<script::Argument>& arguments);

}  // namespace velmora::testhost
