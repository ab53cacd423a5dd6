// CQelTpjFile: the project record, the module's one document type. It holds
// one ToruCa card: header values, the three data lines, the page HTML, the
// unique category icon and the page's images.
//
// Wide strings are UTF-16; the three data lines are narrow code page 932
// bytes. The record enforces no invariant: setters store what they are given,
// getters return copies; a copy of the record shares nothing with it that
// can change (inline images share their bytes, which never change).
//
// The record holds data only. Its operations are functions over it in their
// subsystems: reading and writing in format/ (tpj_reader.h, tpj_writer.h),
// import and content-id resolution in html/ (html_import.h, cid_rewrite.h),
// the settings dialog in dialogs/ (settings_edit.h), the editor lookup in
// toruca/ (editor.h). The host's interface class, whose members forward to
// them, is assembled in plugin/tpjfile_impl.h.
#pragma once

#include <string>

#include "model/tpjimgfile.h"

// Output types of a record.
enum : int {
    TYPE_PROJECT = 1,  // project file (.tpj)
    TYPE_SNIP = 2,     // snippet file (.trc, "Type: SNIP")
    TYPE_CARD = 4,     // detail file (.trc, "Type: CARD")
};

class CQelTpjFile {
public:
    explicit CQelTpjFile(int type);

    int GetType() const { return m_nType; }
    void SetType(int type) { m_nType = type; }
    // The code of m_strVersion (VersionToCode).
    int GetVersionCode() const { return VersionToCode(m_strVersion); }

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
    int AddImage(std::u16string path, std::u16string id);

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
};

// The placeholder URL of a new record; the settings dialog accepts it as it is.
inline constexpr char16_t kDefaultTorucaUrl[] = u"http://www.example.com/toruca_detail.trc";
