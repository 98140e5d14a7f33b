#pragma once
// The postal-code and colonies catalogue packages of any size, built from the tax
// authority's reference tables (states, municipalities, localities): the rows first, so that
// a caller can bend them (repeat a code, add a colony of an unknown code), then the package
// documents from the rows.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kalu::gen {

// splitmix64: a small generator whose sequence is the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // 0 .. n-1
  size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
  template <typename T>
  const T& Pick(const std::vector<T>& v) {
    return v[Below(v.size())];
  }

 private:
  uint64_t state_;
};

struct Entry {
  int code = 0;
  std::string name;
};

struct State {
  int number = 0;
  std::string alias;
  std::string name;
  std::vector<Entry> municipalities;
  std::vector<Entry> localities;
};

// The states of sat_estados.tsv with their municipalities and localities; false when a table
// cannot be read or a state has no known postal-code range.
bool LoadStates(const std::filesystem::path& dir, std::vector<State>& states);
// How many postal codes the states' ranges hold.
size_t PossiblePostalCodes(const std::vector<State>& states);

// One "CP_CVEs" row as the package writes it (the code with its five digits).
struct PostalCodeRow {
  int code = 0;
  std::string alias;
  int municipality = 0;
  int locality = 0;
};

// One "RowColonia".
struct ColonyRow {
  int postalCode = 0;
  int colony = 0;
  std::string name;
};

struct Catalog {
  std::vector<State> states;
  std::vector<PostalCodeRow> postalCodes;
  std::vector<ColonyRow> colonies;
};

// `postalCodes` codes of the states' ranges, kept at random, in code order, and `colonies`
// colonies over them: every code gets one while there are colonies to give, the rest go to
// codes at random, so that some have many.
Catalog MakeCatalog(std::vector<State> states, size_t postalCodes, size_t colonies, Random& rng);

// The package documents of the rows. The state table "EDO_Rel" sits inside the first
// "CP_CVEs" element, ahead of its fields.
std::string PostalCodeDocument(const Catalog& catalog);
std::string ColonyDocument(const Catalog& catalog);

bool WriteFile(const std::filesystem::path& path, std::string_view data);
// The document as `name`.xml, or packed as the store receives it (`name`.XMZ).
bool WriteDocument(const std::filesystem::path& dir, const std::string& name,
                   const std::string& xml, bool pack);

}  // namespace kalu::gen
