// An XML document read to be changed in place: its elements and where each lies in the
// text, so that a change replaces the bytes of what it changes and leaves every other
// byte (indentation, attribute order and quotes, comments, entities) as it was written.
// A project file holds the user's styles, labels and expressions, which a parser that
// writes the document again would reformat.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace projects {

// A text that is not well-formed XML; the message is Spanish and says where.
class XmlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct XmlAttribute {
    std::string name;
    std::size_t begin = 0, end = 0;  // its value's bytes, between the quotes, as written
};

struct XmlElement {
    std::string name;
    std::size_t begin = 0;       // its start tag's "<"
    std::size_t contentBegin = 0;  // past its start tag's ">"
    std::size_t contentEnd = 0;    // its end tag's "<" (contentBegin for an empty element)
    std::size_t end = 0;           // past its end tag
    std::size_t parent = 0;        // the root is its own parent
    std::vector<std::size_t> children;
    std::vector<XmlAttribute> attributes;
};

class XmlDocument {
  public:
    // Reads `text`, every element and attribute; throws XmlError for a text that is not
    // well-formed (a tag left open, an end tag that closes another, an unknown entity).
    explicit XmlDocument(std::string text);

    const std::string& Text() const { return text_; }
    std::size_t Root() const { return 0; }
    const XmlElement& At(std::size_t element) const { return elements_[element]; }
    std::size_t Size() const { return elements_.size(); }

    // The first child of `element` named `name`; nullopt for none.
    std::optional<std::size_t> Child(std::size_t element, std::string_view name) const;
    // Every child of `element` named `name`, in order.
    std::vector<std::size_t> Children(std::size_t element, std::string_view name) const;
    // The first element of the path of names below `element` ("projectCrs/spatialrefsys").
    std::optional<std::size_t> Find(std::size_t element, std::string_view path) const;
    // Every element below `element` (at any depth) named `name`, in document order.
    std::vector<std::size_t> Descendants(std::size_t element, std::string_view name) const;
    // The text `element` holds, its entities and CDATA read (child elements' texts left out).
    std::string TextOf(std::size_t element) const;
    // The value of `element`'s attribute `name`, its entities read; nullopt for none.
    std::optional<std::string> AttributeOf(std::size_t element, std::string_view name) const;

    // The changes, applied by Edited(); no two may touch the same bytes.
    // `element`'s content becomes `text`, escaped.
    void SetText(std::size_t element, std::string_view text);
    // `element`'s content becomes `xml` as it is.
    void SetContent(std::size_t element, std::string xml);
    // The value of `element`'s attribute `name`, which it has, becomes `value`, escaped.
    void SetAttribute(std::size_t element, std::string_view name, std::string_view value);
    // The text with every change made.
    std::string Edited() const;
    bool Changed() const { return !edits_.empty(); }

    // The spaces before `element`'s start tag on its line ("" when other text precedes it).
    std::string IndentOf(std::size_t element) const;

  private:
    struct Edit {
        std::size_t begin, end;
        std::string text;
    };
    void Parse();
    std::string text_;
    std::vector<XmlElement> elements_;
    std::vector<Edit> edits_;
};

// `text` with &, <, > (and " in an attribute, written between double quotes) as entities;
// in an attribute, tabs and line ends as character references, as Qt writes them.
std::string XmlEscaped(std::string_view text, bool attribute);

}  // namespace projects
