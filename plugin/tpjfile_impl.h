// CQelTpjFileIFImpl: the record as the host sees it. The interface's
// virtual table is assembled here, at the top of the module; every member
// forwards to the function of the subsystem that carries the feature, over
// the record's data (model/tpjfile.h).
#pragma once

#include "model/tpjfile.h"
#include "plugin/tpjfileif.h"

class CQelTpjFileIFImpl final : public CQelTpjFileIF, public CQelTpjFile {
public:
    explicit CQelTpjFileIFImpl(int type) : CQelTpjFile(type) {}
    explicit CQelTpjFileIFImpl(const CQelTpjFile& record) : CQelTpjFile(record) {}
    ~CQelTpjFileIFImpl() override;

    bool LoadFile(const std::u16string& path) override;
    std::u16string GetFileText() override;
    bool EditSettings(CWnd* parent) override;
    int GetType() override;
    void SetType(int type) override;
    int GetVersionCode() override;
    bool CreateFromHtml(const std::u16string& path, Node* hostDocument) override;
    std::u16string GetHtml(bool resolve) override;
    std::u16string GetEditorCommand() override;
    // A new record with every value of this one (null when the allocation
    // yields nothing); the caller owns it.
    CQelTpjFileIF* Clone() override;
};
