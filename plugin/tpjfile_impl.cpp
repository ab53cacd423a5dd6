#include "plugin/tpjfile_impl.h"

#include <new>

#include "dialogs/settings_edit.h"
#include "format/tpj_reader.h"
#include "format/tpj_writer.h"
#include "html/cid_rewrite.h"
#include "html/html_import.h"
#include "toruca/editor.h"

CQelTpjFileIF::~CQelTpjFileIF() = default;
CQelTpjFileIFImpl::~CQelTpjFileIFImpl() = default;

bool CQelTpjFileIFImpl::LoadFile(const std::u16string& path) { return qel::format::LoadFile(*this, path); }
std::u16string CQelTpjFileIFImpl::GetFileText() { return qel::format::GetFileText(*this); }
bool CQelTpjFileIFImpl::EditSettings(CWnd* parent) { return qel::dialogs::EditSettings(*this, parent); }
int CQelTpjFileIFImpl::GetType() { return CQelTpjFile::GetType(); }
void CQelTpjFileIFImpl::SetType(int type) { CQelTpjFile::SetType(type); }
int CQelTpjFileIFImpl::GetVersionCode() { return CQelTpjFile::GetVersionCode(); }
bool CQelTpjFileIFImpl::CreateFromHtml(const std::u16string& path, Node* hostDocument) {
    return qel::html::CreateFromHtml(*this, path, hostDocument);
}
std::u16string CQelTpjFileIFImpl::GetHtml(bool resolve) { return qel::html::GetHtml(*this, resolve); }
std::u16string CQelTpjFileIFImpl::GetEditorCommand() { return qel::toruca::GetEditorCommand(*this); }
CQelTpjFileIF* CQelTpjFileIFImpl::Clone() { return new (std::nothrow) CQelTpjFileIFImpl(*this); }
