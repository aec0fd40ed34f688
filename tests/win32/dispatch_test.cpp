// clsVelmora as hosts reach it: created by ProgID, every operation called by name through
// IDispatch with the argument forms hosts use.
#include "support.h"

#include <gtest/gtest.h>
#include <oleauto.h>

#include <memory>

namespace velmora::wintest {
namespace {

class Dispatch : public testing::Test {
 protected:
  static void SetUpTestSuite() { registration_ = std::make_unique<MachineRegistration>(); }
  static void TearDownTestSuite() { registration_.reset(); }

  // Runs `body` with a fresh plug-in created by ProgID.
  static void WithPlugin(const std::function<void(IDispatch&)>& body) {
    InFreshApartment([&] {
      const ComPtr<IDispatch> plugin = CreateByProgId();
      ASSERT_NE(plugin, nullptr) << "Velmora.clsVelmora cannot be created";
      body(*plugin.Get());
    });
  }

 private:
  static inline std::unique_ptr<MachineRegistration> registration_;
};

struct ParameterShape {
  const wchar_t* name;
  VARTYPE type;  // VT_PTR for an in/out parameter
};
struct OperationShape {
  const wchar_t* name;
  DISPID id;
  VARTYPE answer;
  std::vector<ParameterShape> parameters;
};

const std::vector<OperationShape>& Operations() {
  static const std::vector<OperationShape> operations{
      {L"Initialize", 0x60030000, VT_BOOL, {{L"nVersion", VT_I4}, {L"sUserEmail", VT_BSTR}, {L"oMessenger", VT_DISPATCH}}},
      {L"Uninitialize", 0x60030001, VT_VARIANT, {}},
      {L"Configure", 0x60030002, VT_VARIANT, {}},
      {L"GetPublishInfo", 0x60030003, VT_BOOL,
       {{L"sPluginName", VT_PTR}, {L"nCommandCount", VT_PTR}, {L"nTagCount", VT_PTR}}},
      {L"GetPublishCommandInfo", 0x60030004, VT_VARIANT,
       {{L"nCommandIdx", VT_I4}, {L"sName", VT_PTR}, {L"sValue", VT_PTR}, {L"sHelp", VT_PTR}}},
      {L"GetPublishTagInfo", 0x60030005, VT_VARIANT, {{L"nTagIdx", VT_I4}, {L"sName", VT_PTR}, {L"sValue", VT_PTR}}},
      {L"ParseCommand", 0x60030006, VT_BOOL,
       {{L"sCommand", VT_BSTR}, {L"sCommandArg", VT_BSTR}, {L"oConversationWnd", VT_DISPATCH}, {L"sResult", VT_PTR}}},
      {L"ParseTag", 0x60030007, VT_BOOL, {{L"sTag", VT_BSTR}, {L"oConversationWnd", VT_DISPATCH}, {L"sResult", VT_PTR}}},
      {L"ReceiveNotify", 0x60030008, VT_BOOL,
       {{L"sNotifyCode", VT_BSTR}, {L"sText", VT_BSTR}, {L"sContactName", VT_BSTR}, {L"oConversationWnd", VT_DISPATCH},
        {L"sTextToSend", VT_PTR}}},
  };
  return operations;
}

// Names match in any letter case (asked for in capitals here); unknown ones are refused.
TEST_F(Dispatch, TypeLibraryGivesEachOperationItsDispidParameterNamesAndTypes) {
  WithPlugin([](IDispatch& plugin) {
    ComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(plugin.GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
    const auto idOf = [&](std::wstring name, DISPID& id) {
      LPOLESTR names[] = {::CharUpperW(name.data())};
      return plugin.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    };
    DISPID id = 0;
    EXPECT_EQ(idOf(L"SetName", id), DISP_E_UNKNOWNNAME);
    for (const OperationShape& operation : Operations()) {
      SCOPED_TRACE(operation.name);
      ASSERT_HRESULT_SUCCEEDED(idOf(operation.name, id));
      EXPECT_EQ(id, operation.id);

      TYPEATTR* attributes = nullptr;
      ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attributes));
      FUNCDESC* function = nullptr;
      for (UINT index = 0; index < attributes->cFuncs && !function; ++index) {
        FUNCDESC* candidate = nullptr;
        if (FAILED(info->GetFuncDesc(index, &candidate))) continue;
        if (candidate->memid == id) {
          function = candidate;
        } else {
          info->ReleaseFuncDesc(candidate);
        }
      }
      info->ReleaseTypeAttr(attributes);
      ASSERT_NE(function, nullptr) << "no description for DISPID " << id;
      EXPECT_EQ(function->elemdescFunc.tdesc.vt, operation.answer);
      ASSERT_EQ(static_cast<std::size_t>(function->cParams), operation.parameters.size());
      BSTR parameterNames[8] = {};
      UINT count = 0;
      info->GetNames(id, parameterNames, 8, &count);
      for (std::size_t i = 0; i < operation.parameters.size(); ++i) {
        const ELEMDESC& parameter = function->lprgelemdescParam[i];
        EXPECT_EQ(parameter.tdesc.vt, operation.parameters[i].type) << "parameter " << i;
        if (parameter.tdesc.vt == VT_PTR) {
          EXPECT_EQ(parameter.paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT), PARAMFLAG_FIN | PARAMFLAG_FOUT);
        }
        EXPECT_STREQ(i + 1 < count ? parameterNames[i + 1] : L"<none>", operation.parameters[i].name);
      }
      for (UINT i = 0; i < count; ++i) ::SysFreeString(parameterNames[i]);
      info->ReleaseFuncDesc(function);
    }
  });
}

TEST_F(Dispatch, GetPublishCommandInfoWritesOnlyKnownRowsAndNeverTheHelp) {
  struct Case {
    SHORT index;
    const wchar_t* name;
    const wchar_t* value;
  };
  // The table itself is the publish_info script's; here the argument forms a script host uses.
  const Case cases[] = {{4, L"n", L"v"}, {3, L"Set Counter Nickname", L"xcntsetnick"}};
  WithPlugin([&](IDispatch& plugin) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.index);
      win32::UniqueBstr name{::SysAllocString(L"n")}, value{::SysAllocString(L"v")}, help{::SysAllocString(L"h")};
      const BSTR helpBefore = help.get();
      Arguments arguments;  // the index as a 16-bit integer, as script hosts pass literals
      arguments.I2(c.index).TextRef(name.addressof()).TextRef(value.addressof()).TextRef(help.addressof());
      Outcome outcome;
      CallByName(plugin, L"GetPublishCommandInfo", arguments, outcome);
      ASSERT_HRESULT_SUCCEEDED(outcome.hr);
      EXPECT_EQ(outcome.result.vt, VT_EMPTY);
      EXPECT_STREQ(name.get(), c.name);
      EXPECT_STREQ(value.get(), c.value);
      EXPECT_EQ(help.get(), helpBefore) << "sHelp was replaced";
    }
  });
}

TEST_F(Dispatch, ParseTagTakesItsTagAsAVariantByReference) {
  WithPlugin([](IDispatch& plugin) {
    // The tag as a variant by reference, as a host passes its own variables; the runtime
    // takes the string out of it. In/out strings go by reference as strings.
    VARIANT tagVariable;
    ::VariantInit(&tagVariable);
    tagVariable.vt = VT_BSTR;
    tagVariable.bstrVal = ::SysAllocString(L"(!XCOUNT)");
    win32::UniqueBstr result{::SysAllocString(L"as passed")};
    Arguments tag;
    tag.VariantRef(&tagVariable).Nothing().TextRef(result.addressof());
    Outcome parsed;
    CallByName(plugin, L"ParseTag", tag, parsed);
    ::VariantClear(&tagVariable);
    ASSERT_HRESULT_SUCCEEDED(parsed.hr);
    EXPECT_EQ(parsed.result.vt, VT_BOOL);
    EXPECT_EQ(parsed.result.boolVal, VARIANT_FALSE);
    EXPECT_STREQ(result.get(), L"as passed");
  });
}

TEST_F(Dispatch, ArgumentsThatCannotBeCoercedAreRefusedBeforeThePluginRuns) {
  WithPlugin([](IDispatch& plugin) {
    Arguments wrongType;
    wrongType.Text(L"not a number").Text(L"x@test.invalid").Nothing();
    Outcome mismatch;
    CallByName(plugin, L"Initialize", wrongType, mismatch);
    EXPECT_EQ(mismatch.hr, DISP_E_TYPEMISMATCH);
    Arguments tooFew;
    tooFew.I4(1);
    Outcome missing;
    CallByName(plugin, L"GetPublishTagInfo", tooFew, missing);
    EXPECT_EQ(missing.hr, DISP_E_BADPARAMCOUNT);
  });
}

TEST_F(Dispatch, AFailureReachesTheHostAsAnExceptionWithItsNumberAndDescription) {
  const auto failNext = Seam<VelmoraSeamFailNextNameFn>("VelmoraSeamFailNextName");
  struct Case {
    LONG number;
    SCODE scode;
  };
  // A plug-in error number travels in FACILITY_CONTROL; an HRESULT-sized one as itself.
  const Case cases[] = {{6, static_cast<SCODE>(0x800A0006)}, {-2147220991, -2147220991}};
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    for (const Case& c : cases) {
      // The new template is published at once; handing it over fails.
      ASSERT_HRESULT_SUCCEEDED(failNext(c.number, L"Overflow"));
      win32::UniqueBstr result{::SysAllocString(L"as passed")};
      Arguments arguments;
      arguments.Text(L"/xcntsetnick").Text(L"%s").Nothing().TextRef(result.addressof());
      Outcome outcome;
      CallByName(*plugin.Get(), L"ParseCommand", arguments, outcome);
      EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
      EXPECT_EQ(outcome.exception.scode, c.scode);
      EXPECT_EQ(outcome.exception.wCode, 0);
      EXPECT_STREQ(outcome.exception.bstrDescription, L"Overflow");
      EXPECT_STREQ(outcome.exception.bstrSource, L"Velmora.clsVelmora");
      EXPECT_STREQ(result.get(), L"as passed") << "a failed call wrote its in/out parameter";
    }
  });
}

}  // namespace
}  // namespace velmora::wintest
