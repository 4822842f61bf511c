// Parsing checked catalogue bytes with MSXML and reading the items out of the DOM.
#include <windows.h>
#include <msxml2.h>

#include <optional>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/ComSupport.h"
#include "ui/Application.h"
#include "catalogue/Msxml.h"

namespace catalogue {

using detail::HresultText;
using detail::TBstr;
using detail::TComPtr;
using detail::TVariant;

namespace detail {

namespace {

// {88D96A05-F192-11D4-A65F-0040963251E5}, {F5078F32-C551-11D3-89B9-0000F81FE221}
constexpr CLSID kDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr CLSID kDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
// IXMLDOMDocument2 {2933BF95-7B36-11D2-B20E-00C04F983E60}
constexpr IID kDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

void SetProperty(IXMLDOMDocument2* document, const wchar_t* name, VARIANT_BOOL value) {
  TBstr key{std::wstring(name)};
  VARIANT setting;
  VariantInit(&setting);
  setting.vt = VT_BOOL;
  setting.boolVal = value;
  document->setProperty(key.Get(), setting);  // unknown to some versions: not an error
}

}  // namespace

TComPtr<IXMLDOMDocument> CreateDomDocument() {
  TComPtr<IXMLDOMDocument> document;
  HRESULT result = CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IXMLDOMDocument, document.Out());
  if (FAILED(result))
    result = CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              document.Out());
  if (FAILED(result))
    throw ECatalogueError("無法建立 XML 文件 (MSXML 錯誤 " + HresultText(result) + ")");
  document->put_async(VARIANT_FALSE);
  document->put_validateOnParse(VARIANT_FALSE);
  document->put_resolveExternals(VARIANT_FALSE);
  document->put_preserveWhiteSpace(VARIANT_FALSE);
  TComPtr<IXMLDOMDocument2> document2;
  if (SUCCEEDED(document->QueryInterface(kDomDocument2, document2.Out()))) {
    SetProperty(document2.Get(), L"ProhibitDTD", VARIANT_TRUE);
    SetProperty(document2.Get(), L"AllowXsltScript", VARIANT_FALSE);
    SetProperty(document2.Get(), L"AllowDocumentFunction", VARIANT_FALSE);
  }
  return document;
}

}  // namespace detail

class TCatalogueDocument::TImpl {
 public:
  TComPtr<IXMLDOMDocument> Document;
  TComPtr<IXMLDOMNodeList> Items;
  long Count = 0;
  // A plain catalogue is read without a DOM: its items, in order.
  std::optional<std::vector<TCatalogueItem>> PlainItems;
  TBstr Keys[5] = {TBstr{std::wstring(detail::kItemAttributes[0])},
                   TBstr{std::wstring(detail::kItemAttributes[1])},
                   TBstr{std::wstring(detail::kItemAttributes[2])},
                   TBstr{std::wstring(detail::kItemAttributes[3])},
                   TBstr{std::wstring(detail::kItemAttributes[4])}};
  TBstr OptionalKeys[2] = {TBstr{std::wstring(detail::kOptionalItemAttributes[0])},
                           TBstr{std::wstring(detail::kOptionalItemAttributes[1])}};
  // The item read last: a walk in order steps to its next sibling, as a node list's
  // item lookup may start from the first child every time.
  TComPtr<IXMLDOMNode> Last;
  long LastIndex = -1;

  TComPtr<IXMLDOMNode> Node(long index) {
    TComPtr<IXMLDOMNode> node;
    HRESULT result = Last && index == LastIndex + 1 ? Last->get_nextSibling(&node)
                                                    : Items->get_item(index, &node);
    if (result != S_OK) node.Reset();
    Last.Reset();
    LastIndex = -1;
    if (node) {
      node->AddRef();
      Last = TComPtr<IXMLDOMNode>(node.Get());
      LastIndex = index;
    }
    return node;
  }
};

namespace {

[[noreturn]] void ThrowParseError(IXMLDOMDocument* document) {
  TComPtr<IXMLDOMParseError> error;
  TBstr reason;
  long line = 0;
  long column = 0;
  if (SUCCEEDED(document->get_parseError(&error)) && error) {
    error->get_reason(&reason);
    error->get_line(&line);
    error->get_linepos(&column);
  }
  std::wstring text = reason.Text();
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                           text.back() == L'.'))
    text.pop_back();
  // Wine's MSXML gives only "error" and no position; say what is known.
  std::string message = "UI 清單 Data.xml 不是格式正確的 XML";
  if (!text.empty() && text != L"error") message += ": " + ui::Narrow(text);
  if (line > 0)
    message += " (第 " + std::to_string(line) + " 行, 第 " + std::to_string(column) + " 字)";
  throw ECatalogueError(message);
}

}  // namespace

TCatalogueDocument::TCatalogueDocument(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) {}
TCatalogueDocument::TCatalogueDocument(TCatalogueDocument&&) noexcept = default;
TCatalogueDocument& TCatalogueDocument::operator=(TCatalogueDocument&&) noexcept = default;
TCatalogueDocument::~TCatalogueDocument() = default;

TCatalogueDocument TCatalogueDocument::Parse(const std::string& bytes) {
  auto impl = std::make_unique<TImpl>();

  // A byte array, so MSXML itself reads the declaration (UTF-8 or UTF-16 by now).
  std::string input = detail::TranscodeForParser(bytes);
  TVariant source;
  source.vt = VT_ARRAY | VT_UI1;
  source.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(input.size()));
  if (!source.parray) throw ECatalogueError("記憶體不足,無法載入 UI 清單 Data.xml");
  if (!input.empty()) {
    void* data = nullptr;
    SafeArrayAccessData(source.parray, &data);
    memcpy(data, input.data(), input.size());
    SafeArrayUnaccessData(source.parray);
  }
  impl->PlainItems = detail::ReadPlainCatalogue(source);
  if (impl->PlainItems) {
    impl->Count = static_cast<long>(impl->PlainItems->size());
    return TCatalogueDocument(std::move(impl));
  }
  impl->Document = detail::CreateDomDocument();
  IXMLDOMDocument* document = impl->Document.Get();
  VARIANT_BOOL loaded = VARIANT_FALSE;
  HRESULT result = document->load(source, &loaded);
  if (FAILED(result) || loaded != VARIANT_TRUE) ThrowParseError(document);

  TComPtr<IXMLDOMElement> root;
  if (FAILED(document->get_documentElement(&root)) || !root)
    throw ECatalogueError("UI 清單 Data.xml 沒有根元素");
  if (FAILED(root->get_childNodes(&impl->Items)) || !impl->Items ||
      FAILED(impl->Items->get_length(&impl->Count)))
    impl->Count = 0;
  return TCatalogueDocument(std::move(impl));
}

int TCatalogueDocument::ItemCount() const {
  return static_cast<int>(FImpl->Count);
}

TCatalogueItem TCatalogueDocument::Item(int index) const {
  auto where = [index] { return "UI 清單 Data.xml 第 " + std::to_string(index + 1) + " 項"; };
  if (FImpl->PlainItems) {
    if (index < 0 || index >= FImpl->Count) throw ECatalogueError(where() + "不存在");
    return (*FImpl->PlainItems)[static_cast<size_t>(index)];
  }
  TComPtr<IXMLDOMNode> node;
  if (index < 0 || index >= FImpl->Count || !(node = FImpl->Node(index)))
    throw ECatalogueError(where() + "不存在");
  TComPtr<IXMLDOMElement> element;
  DOMNodeType type = NODE_INVALID;
  node->get_nodeType(&type);
  if (type != NODE_ELEMENT || FAILED(node->QueryInterface(IID_IXMLDOMElement, element.Out())))
    throw ECatalogueError(where() + "不是 Item 元素,缺少屬性 plugName");

  auto attribute = [&](int key) {
    TVariant value;
    if (element->getAttribute(FImpl->Keys[key].Get(), &value) != S_OK || value.vt != VT_BSTR)
      throw ECatalogueError(where() + "缺少屬性 " + ui::Narrow(detail::kItemAttributes[key]));
    return std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
  };
  TCatalogueItem item;
  item.Name = attribute(0);
  item.Id = attribute(1);
  item.Folder = attribute(2);
  item.Description = attribute(3);
  item.Author = attribute(4);
  auto optional = [&](int key) {
    TVariant value;
    if (element->getAttribute(FImpl->OptionalKeys[key].Get(), &value) != S_OK ||
        value.vt != VT_BSTR)
      return std::wstring();
    return std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
  };
  item.ArchiveSize = optional(0);
  item.ArchiveSha256 = optional(1);
  return item;
}

}  // namespace catalogue
