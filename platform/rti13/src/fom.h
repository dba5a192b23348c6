#pragma once
// The federation object model read from a 1.3 FED file: the object class
// tree with its attributes and the interaction class tree with its
// parameters.
//
// Handles: a class is its position in declaration order plus 1 (the root is
// 1); an attribute or parameter is its position among all those of its tree
// in declaration order, from 0. Subclasses inherit their ancestors' items,
// with the same handles.
//
// FED syntax read (keywords in any case, ';' starts a comment to the end of
// the line, names may be quoted):
//   (FED (Federation name) (FEDversion v1.3) (spaces ...)
//     (objects (class ObjectRoot (attribute privilegeToDelete reliable timestamp)
//                (class A (attribute x best_effort receive) (class B ...))))
//     (interactions (class InteractionRoot reliable timestamp
//                (class S best_effort receive (parameter p) (class T ...)))))
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "message.h"

namespace hcyrti {

class Fom {
public:
    // Reads FED text; a syntax or structure fault throws Failure(ErrorReadingFED)
    // with the line it was found on.
    static std::shared_ptr<const Fom> Parse(const std::string& text);

    // Name lookups; unknown names throw Failure(NameNotFound), unknown
    // classes Failure(ObjectClassNotDefined / InteractionClassNotDefined).
    Handle ObjectClass(const std::string& name) const;
    Handle Attribute(const std::string& name, Handle objectClass) const;
    Handle InteractionClass(const std::string& name) const;
    Handle Parameter(const std::string& name, Handle interactionClass) const;

    bool IsObjectClass(Handle c) const { return objects_.Has(c); }
    bool IsInteractionClass(Handle c) const { return interactions_.Has(c); }
    // The item is declared by the class or one of its ancestors.
    bool HasAttribute(Handle objectClass, Handle attribute) const;
    bool HasParameter(Handle interactionClass, Handle parameter) const;
    // `c` is `ancestor` or below it (both object classes, or both interactions).
    bool ObjectClassIsA(Handle c, Handle ancestor) const { return objects_.IsA(c, ancestor); }
    bool InteractionIsA(Handle c, Handle ancestor) const { return interactions_.IsA(c, ancestor); }
    // The class and its ancestors, the class first.
    std::vector<Handle> ObjectClassLine(Handle c) const { return objects_.Line(c); }
    std::vector<Handle> InteractionLine(Handle c) const { return interactions_.Line(c); }

    struct Class {
        std::string name;                        // e.g. "RadioTransmitter"
        std::size_t parent;                      // index into classes, npos for a root
        std::map<std::string, Handle> declared;  // its own items by name
    };
    struct Item {
        std::string name;
        std::size_t owner;  // index of the declaring class
    };
    struct Tree {
        std::vector<Class> classes;            // handle = index + 1
        std::vector<Item> items;               // handle = index
        std::map<std::string, Handle> byName;  // with and without the root's name

        bool Has(Handle c) const { return c >= 1 && c <= classes.size(); }
        bool IsA(Handle c, Handle ancestor) const;
        bool HasItem(Handle c, Handle item) const;
        std::vector<Handle> Line(Handle c) const;
        // The item of that name in the class or an ancestor; ~0u when none.
        Handle FindItem(const std::string& name, Handle c) const;
    };

private:
    Tree objects_;
    Tree interactions_;
    friend class FedReader;
};

}  // namespace hcyrti
