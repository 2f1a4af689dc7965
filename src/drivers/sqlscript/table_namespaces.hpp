#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tabvora::internal::SQLDialectNormalizer {

// Where the tables of a dump of several databases (MySQL: CREATE DATABASE, USE) or schemas
// (PostgreSQL: CREATE SCHEMA, search_path, qualified names; \connect for several
// databases) go in the one staging database. A table keeps its plain name unless another
// namespace staged a table, view or index of that name first; it is then staged under
// "namespace.name", one identifier ("archive.orders"; after \connect to a second database
// also the database: "b.public.orders"). A table therefore never receives another one's
// rows. Names are compared ignoring ASCII case; a staged name never changes once given.
class TableNamespaces {
 public:
  // A name a CREATE statement gives an object, to be recorded with define() once the
  // statement ran.
  struct Definition {
    std::string key;     // the namespace's key
    std::string name;    // lower-cased plain name
    std::string staged;  // the name it is staged under
  };
  struct Rewrite {
    std::string text;
    std::optional<Definition> defines;
  };

  // `defaultNamespace` holds unqualified names until use() names another one ("" for
  // MySQL, "public" for PostgreSQL, which is also a qualifier from the start).
  explicit TableNamespaces(std::string_view defaultNamespace = "");

  // A database or schema the script creates or names: a qualifier of table names from now on.
  void add(std::string_view name);
  // USE, search_path: unqualified names belong to this namespace from now on.
  void use(std::string_view name);
  // The namespace of unqualified names when the script names none ("SET search_path = ''").
  void useDefault();
  // \connect: the schemas named from now on are this database's; unqualified names go to
  // its default schema.
  void connect(std::string_view database);

  // A statement in SQLite syntax (rewriteStatement's output) with its table references
  // written as staged names: a qualified reference ns.name when ns is a namespace, an
  // unqualified name where a table name stands (after FROM, JOIN, INTO, TABLE, VIEW, INDEX,
  // REFERENCES, COPY ...; ON in CREATE INDEX), and a column qualifier naming a table this
  // statement or the current namespace renamed. Qualifiers of names followed by "(" (a
  // function) are dropped. An INSERT is read up to its VALUES only. With `defining`
  // (a CREATE TABLE, VIEW or INDEX), the first table name is reported as what it defines.
  // The text is returned unchanged (not copied) when nothing is renamed.
  Rewrite rewrite(std::string statement, bool defining) const;

  // Records that the object of a successful CREATE is staged under its name.
  void define(const Definition& definition);

 private:
  struct Namespace {
    std::string key;
    std::string label;  // what staged names are qualified with
  };
  Namespace namespaceOf(std::string_view qualifier) const;
  // The staged name of `name` in the namespace: the one defined, else the plain name when
  // no other namespace holds it, else "label.name".
  std::string stagedName(const Namespace& space, std::string_view name) const;
  std::optional<std::string> definedName(const std::string& key, std::string_view name) const;

  std::string defaultSchema_;
  Namespace current_;
  // Lower-cased qualifier -> its label as first written.
  std::map<std::string, std::string, std::less<>> qualifiers_;
  // After \connect to a database other than the first: the lower-cased database with "."
  // (keys) and as written (labels).
  std::optional<std::string> firstDatabase_;
  std::string databaseKey_;
  std::string databaseLabel_;
  // (namespace key, lower-cased name) -> staged name; lower-cased staged name -> key.
  std::map<std::pair<std::string, std::string>, std::string> staged_;
  std::map<std::string, std::string, std::less<>> owners_;
};

}  // namespace tabvora::internal::SQLDialectNormalizer
