// The floor under the catalogue load (Windows, not a test): MSXML alone parses a
// catalogue file and reads the five attributes of every item, as plainly as it allows.
//   msxmlparse FILE
// Prints "parse_ms=N walk_ms=N items=N".
#include <windows.h>
#include <msxml2.h>

#include <chrono>
#include <cstdio>

namespace {

// DOMDocument60 {88D96A05-F192-11D4-A65F-0040963251E5}
constexpr CLSID kDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};

long long Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: msxmlparse FILE\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IXMLDOMDocument* document = nullptr;
  if (FAILED(CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              reinterpret_cast<void**>(&document))))
    return 1;
  document->put_async(VARIANT_FALSE);
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocString(argv[1]);

  auto start = std::chrono::steady_clock::now();
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(document->load(source, &loaded)) || loaded != VARIANT_TRUE) return 1;
  long long parseMs = Since(start);

  start = std::chrono::steady_clock::now();
  static const wchar_t* const kNames[] = {L"plugName", L"plugid", L"plugfolder", L"plugdescribe",
                                          L"plugauthor"};
  BSTR names[5];
  for (int i = 0; i < 5; ++i) names[i] = SysAllocString(kNames[i]);
  IXMLDOMElement* root = nullptr;
  document->get_documentElement(&root);
  IXMLDOMNode* node = nullptr;
  root->get_firstChild(&node);
  int items = 0;
  while (node != nullptr) {
    IXMLDOMElement* element = nullptr;
    if (SUCCEEDED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(&element)))) {
      for (BSTR name : names) {
        VARIANT value;
        VariantInit(&value);
        element->getAttribute(name, &value);
        VariantClear(&value);
      }
      element->Release();
      ++items;
    }
    IXMLDOMNode* next = nullptr;
    node->get_nextSibling(&next);
    node->Release();
    node = next;
  }
  std::printf("parse_ms=%lld walk_ms=%lld items=%d\n", parseMs, Since(start), items);
  return 0;
}
