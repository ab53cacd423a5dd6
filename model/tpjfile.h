// CQelTpjFile: the project record, the module's one document type. It holds
// one ToruCa card: header values, the three data lines, the page HTML, the
// unique category icon and the page's images.
//
// Wide strings are UTF-16; the three data lines are narrow code page 932
// bytes. The record enforces no invariant: setters store what they are given,
// getters return copies. The operations that carry a whole feature live with
// their subsystem: LoadFile in format/tpj_reader.cpp, GetFileText in
// format/tpj_writer.cpp, CreateFromHtml and GetHtml in html/, EditSettings in
// dialogs/, GetEditorCommand in toruca/.
#pragma once

#include <string>

#include "model/tpjfileif.h"
#include "model/tpjimgfile.h"

class Element;            // the host DOM's element class (host/dom.h)
namespace qel::html { class PageImport; }  // one page's collection (html/html_import.cpp)
struct CQelMimePartLines; // the reader's lines of one MIME part (format/tpj_reader.h)

class CQelTpjFile : public CQelTpjFileIF {
public:
    explicit CQelTpjFile(int type);
    ~CQelTpjFile() override;

    // CQelTpjFileIF, in the order of its virtual table.
    bool LoadFile(const std::u16string& path) override;
    std::u16string GetFileText() override;
    bool EditSettings(CWnd* parent) override;
    int GetType() override;
    void SetType(int type) override;
    int GetVersionCode() override;
    bool CreateFromHtml(const std::u16string& path, Node* hostDocument) override;
    std::u16string GetHtml(bool resolve) override;
    std::u16string GetEditorCommand() override;
    CQelTpjFileIF* Clone() override;

    // Version string to code, ignoring case: "1.0" 1, "1.1" 2, "2.0" 3,
    // "2.1" and anything else (the empty string too) 4.
    static int VersionToCode(const std::u16string& version);

    std::u16string GetVersion() const { return m_strVersion; }
    void SetVersion(const std::u16string& v) { m_strVersion = v; }
    std::u16string GetUrl() const { return m_strUrl; }
    void SetUrl(const std::u16string& v) { m_strUrl = v; }
    void SetCategory(int v) { m_nCategory = v; }
    void SetDist(int v) { m_nDist = v; }
    void SetColorId(int v) { m_nColorId = v; }
    std::u16string GetIpId() const { return m_strIpId; }
    void SetIpId(const std::u16string& v) { m_strIpId = v; }
    std::u16string GetSortId() const { return m_strSortId; }
    void SetSortId(const std::u16string& v) { m_strSortId = v; }
    std::u16string GetExpires() const { return m_strExpires; }
    void SetExpires(const std::u16string& v) { m_strExpires = v; }
    std::u16string GetLastModified() const { return m_strLastModified; }
    void SetLastModified(const std::u16string& v) { m_strLastModified = v; }
    // The data lines are kept as code page 932 bytes: the setters convert
    // (ending at the first NUL; a character code page 932 cannot hold becomes
    // its decimal character reference), the getters return the bytes.
    std::string GetData1() const { return m_strData1; }
    std::string GetData2() const { return m_strData2; }
    std::string GetData3() const { return m_strData3; }
    void SetData1(const std::u16string& v);
    void SetData2(const std::u16string& v);
    void SetData3(const std::u16string& v);
    void GetUniqueIcon(std::u16string& path, std::u16string& title) const;
    void SetUniqueIcon(const std::u16string& path, const std::u16string& title);
    void SetMimeVersion(const std::u16string& v) { m_strMimeVersion = v; }
    void SetBoundary(const std::u16string& v) { m_strBoundary = v; }

    // Appends an image entry; returns the number of entries after the append.
    int AddImage(const std::u16string& path, const std::u16string& id);

    // Writer (format/tpj_writer.cpp).
    void WriteImageParts(std::u16string& text, bool pageImages);
    bool WriteImagePart(std::u16string& text, const CQelTpjImgFile& entry, bool pageImage);
    // Reader (format/tpj_reader.cpp).
    void ReadMimePart(const CQelMimePartLines& lines);  // one part's collected lines
    static std::u16string GetParam(const std::u16string& value, const std::u16string& name);
    // HTML import and content-id rewriting (html/).
    void CollectImageAttribute(Element* element, const std::u16string& attribute,
                               const std::u16string& base, int& counter);
    std::u16string ResolveContentIds(const std::u16string& html);
    bool ResolveContentIdAttribute(Element* element, const std::u16string& attribute);

    // The fields, in their order. Public, as the framework's records are:
    // the record's own operations and the tests read them directly.
    int m_nType;
    std::u16string m_strVersion;
    std::u16string m_strUrl;
    int m_nCategory;
    int m_nDist;
    int m_nColorId;
    std::u16string m_strIpId;
    std::u16string m_strSortId;
    std::u16string m_strExpires;
    std::u16string m_strLastModified;
    std::u16string m_strHtml;
    std::string m_strData1;
    std::string m_strData2;
    std::string m_strData3;
    CQelTpjImgFile m_uniqueIcon;
    CQelTpjImgFileArray m_arrImages;
    std::u16string m_strMimeVersion;
    std::u16string m_strBoundary;

    // While CreateFromHtml runs, what CollectImageAttribute needs of the page
    // besides the base (its encoding, its own path, the inline images met so
    // far); null otherwise. Not a value of the record: Clone leaves it null.
    qel::html::PageImport* m_pImport = nullptr;
};

// The placeholder URL of a new record; the settings dialog accepts it as it is.
inline constexpr char16_t kDefaultTorucaUrl[] = u"http://www.example.com/toruca_detail.trc";
