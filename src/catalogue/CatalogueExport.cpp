// Writing the list back as a catalogue document through MSXML.
#include <windows.h>
#include <msxml2.h>

#include <string>

#include "catalogue/Catalogue.h"
#include "catalogue/ComSupport.h"
#include "ui/Application.h"
#include "catalogue/Msxml.h"

namespace catalogue {

using detail::HresultText;
using detail::TBstr;
using detail::TComPtr;
using detail::TVariant;

namespace {

void Check(HRESULT result, const char* step) {
  if (FAILED(result))
    throw ECatalogueError(std::string("無法建立 UI 清單: ") + step + " (MSXML 錯誤 " +
                          HresultText(result) + ")");
}

void Append(IXMLDOMNode* parent, IXMLDOMNode* child) {
  TComPtr<IXMLDOMNode> added;
  Check(parent->appendChild(child, &added), "appendChild");
}

// Indentation is written as text nodes, so it is the same whatever MSXML's save does.
void AppendText(IXMLDOMDocument* document, IXMLDOMNode* parent, const wchar_t* text) {
  TComPtr<IXMLDOMText> node;
  TBstr data{std::wstring(text)};
  Check(document->createTextNode(data.Get(), &node), "createTextNode");
  Append(parent, node.Get());
}

void SetAttribute(IXMLDOMElement* element, const wchar_t* name, const std::wstring& value) {
  TBstr key{std::wstring(name)};
  TVariant text;
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  Check(element->setAttribute(key.Get(), text), "setAttribute");
}

}  // namespace

void ExportCatalogue(const std::vector<TCatalogueItem>& items, const std::wstring& path) {
  TComPtr<IXMLDOMDocument> document = detail::CreateDomDocument();
  IXMLDOMNode* documentNode = document.Get();

  TComPtr<IXMLDOMProcessingInstruction> declaration;
  TBstr target{std::wstring(L"xml")};
  TBstr data{std::wstring(L"version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"")};
  Check(document->createProcessingInstruction(target.Get(), data.Get(), &declaration),
        "createProcessingInstruction");
  Append(documentNode, declaration.Get());

  TComPtr<IXMLDOMElement> root;
  TBstr rootName{std::wstring(L"plug")};
  Check(document->createElement(rootName.Get(), &root), "createElement");
  Append(documentNode, root.Get());

  TBstr itemName{std::wstring(L"Item")};
  for (const TCatalogueItem& item : items) {
    AppendText(document.Get(), root.Get(), L"\r\n  ");
    TComPtr<IXMLDOMElement> element;
    Check(document->createElement(itemName.Get(), &element), "createElement");
    SetAttribute(element.Get(), L"plugName", item.Name);
    SetAttribute(element.Get(), L"plugid", item.Id);
    SetAttribute(element.Get(), L"plugfolder", item.Folder);
    SetAttribute(element.Get(), L"plugdescribe", item.Description);
    SetAttribute(element.Get(), L"plugauthor", item.Author);
    Append(root.Get(), element.Get());
  }
  if (!items.empty()) AppendText(document.Get(), root.Get(), L"\r\n");

  // Saved beside the target first, so a failed save leaves the earlier file whole.
  std::wstring temporary = path + L".tmp";
  TVariant destination;
  destination.vt = VT_BSTR;
  destination.bstrVal = SysAllocString(temporary.c_str());
  HRESULT saved = document->save(destination);
  if (FAILED(saved)) {
    DeleteFileW(temporary.c_str());
    throw ECatalogueError("無法寫入 " + ui::Narrow(path) + " (MSXML 錯誤 " + HresultText(saved) +
                          ")");
  }
  if (!MoveFileExW(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    throw ECatalogueError("無法寫入 " + ui::Narrow(path) + " (錯誤 " + std::to_string(error) + ")");
  }
}

}  // namespace catalogue
