// VeskorX: the object layer of the Veskor engine (libveskorx.so).
//
// A client creates an Engine, initialises it, creates, deletes and loads application knowledge
// bases (AKB) with it and gets an AKB object per loaded file; through the AKB it inserts, updates
// and deletes entries, saves the file and searches it (Find), which yields a Resultset of
// Resultentry objects, best hit first.
//
// The objects are apartment-threaded: each client thread has its own component state (engine
// connection, loaded knowledge bases, temporary word knowledge base); objects are created, used
// and released on the thread that created them. The last Engine or AKB of a thread to end tears
// that thread's state down and removes its temporary word knowledge base. Unsaved changes are not
// saved when an AKB ends.
//
// The engine, libveskoreng.so, is loaded with dlopen at the first engine call (libveskorx.so looks
// for it in its own directory first) and each engine function is bound at its first call.
//
// Every failure is thrown as veskorx::Error. Destructors never throw: their failures are kept for
// the client, see takeDeferredErrors().
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <variant>
#include <vector>

#if defined(__GNUC__) || defined(__clang__)
#define VESKORX_API __attribute__((visibility("default")))
#else
#define VESKORX_API
#endif

namespace veskorx {

namespace detail {
struct ModuleState;
struct KBInfo;
}  // namespace detail

// An Automation-style value: empty, text, number, Boolean or a one-dimensional array of values.
class VESKORX_API Variant {
 public:
  enum class Type { Empty, Text, Number, Boolean, Array };

  Variant() = default;
  Variant(const char* text) : value_(std::string(text != nullptr ? text : "")) {}
  Variant(std::string text) : value_(std::move(text)) {}
  Variant(bool value) : value_(value) {}
  template <typename T>
  requires std::is_arithmetic_v<T> &&(!std::same_as<T, bool>)Variant(T number)
      : value_(static_cast<double>(number)) {}
  Variant(std::vector<Variant> elements) : value_(std::move(elements)) {}
  // An array of texts.
  Variant(const std::vector<std::string>& texts) : value_(std::vector<Variant>(texts.begin(), texts.end())) {}

  Type type() const { return static_cast<Type>(value_.index()); }
  bool isEmpty() const { return type() == Type::Empty; }
  // The value of the given type; asking for another type throws std::bad_variant_access.
  const std::string& text() const { return std::get<std::string>(value_); }
  double number() const { return std::get<double>(value_); }
  bool boolean() const { return std::get<bool>(value_); }
  const std::vector<Variant>& array() const { return std::get<std::vector<Variant>>(value_); }

 private:
  std::variant<std::monostate, std::string, double, bool, std::vector<Variant>> value_;
};

// The one error type of the component.
//
// Engine failures: number() is 0x80040400 + the engine status as a signed 32-bit value (see
// ErrorNumber), description() the status's text. Platform errors keep the numbers Basic clients
// know: 5 unknown collection key, 9 collection position out of range, 13 type mismatch, 53 engine
// library not found, 453 engine function not found, 457 duplicate collection key. source() names
// the operation that failed ("Initialize", "AKBLoad", "KBAdd", "Find", ...).
class VESKORX_API Error : public std::exception {
 public:
  Error(int32_t number, std::string source, std::string description)
      : number_(number), source_(std::move(source)), description_(std::move(description)) {}

  int32_t number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

  // The error for a non-zero engine status.
  static Error fromStatus(int32_t status, std::string source);

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// Error numbers of engine statuses (0x80040400 + status).
enum ErrorNumber : int32_t {
  vxError_Internal_error = -2147220491,
  vxError_Index_not_valid = -2147220492,
  vxError_Not_implemented = -2147220493,
  vxError_Not_initialized = -2147220495,
  vxError_Fatal_error = -2147220481,
  vxError_Argument_not_valid = -2147220479,
  vxError_File = -2147220476,
  vxError_Filename = -2147220475,
  vxError_Fileformat = -2147220474,
  vxError_KBName = -2147220473,
  vxError_Key_not_valid = -2147220470,
  vxError_Entry_not_valid = -2147220469,
  vxError_Out_of_bounds = -2147220467,
};

// Failures that a destructor could not throw, oldest first: unloading an AKB (source
// "AKBUnLoad"), removing the temporary word knowledge base at teardown ("RemoveKnowledgeBase"),
// or an engine call that could not be bound. They are kept with the component state of the thread
// that created the object; this returns and forgets the calling thread's. Errors still unread
// when that state ends are written to standard error.
VESKORX_API std::vector<Error> takeDeferredErrors();

class Resultset;

// One hit of a Find: the entry's primary key and its confidence.
class VESKORX_API Resultentry {
 public:
  const std::string& Key() const { return key_; }
  // Confidence
  // Range: 0.0 - 1.0
  double Confidence() const { return confidence_; }

 private:
  friend class Resultset;
  Resultentry() = default;
  void set(std::string key, double confidence);

  std::string key_;
  double confidence_ = 0.0;
};

// The hits of a Find in the engine's order, best first: an ordered, read-only collection indexed
// by 1-based position or by key. Keep the pointer Find returned while walking it: a range-for
// over *akb->Find(...) would walk a set already released. A key that reads as a number is not registered as a collection
// key; such entries are reached by position and enumeration only. Key lookup ignores letter case.
class VESKORX_API Resultset : public std::enable_shared_from_this<Resultset> {
 public:
  using Entries = std::vector<std::shared_ptr<Resultentry>>;

  // Walks the entries in order; holds its Resultset.
  class VESKORX_API Enumerator {
   public:
    // The next entry, or null after the last.
    std::shared_ptr<Resultentry> Next();
    void Skip(std::size_t count);
    void Reset() { position_ = 0; }

   private:
    friend class Resultset;
    explicit Enumerator(std::shared_ptr<const Resultset> set) : set_(std::move(set)) {}
    std::shared_ptr<const Resultset> set_;
    std::size_t position_ = 0;
  };

  // A number selects by 1-based position (error 9 outside 1..Count), a text by key (error 5 when
  // none is registered).
  std::shared_ptr<Resultentry> Item(const Variant& vntIndexKey) const;
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  Enumerator NewEnum() const { return Enumerator(shared_from_this()); }

  Entries::const_iterator begin() const { return entries_.begin(); }
  Entries::const_iterator end() const { return entries_.end(); }

 private:
  friend class AKB;
  Resultset() = default;
  static std::shared_ptr<Resultset> create();
  // Appends an entry; a key already registered raises error 457.
  std::shared_ptr<Resultentry> add(const std::string& key, double confidence);

  Entries entries_;
  std::unordered_map<std::string, std::size_t> keys_;  // folded key -> position
};

// An application knowledge base loaded by Engine::AKBLoad. Objects on the same file share its
// record: one engine open, one Modified flag.
class VESKORX_API AKB {
 public:
  ~AKB();
  AKB(const AKB&) = delete;
  AKB& operator=(const AKB&) = delete;

  // Returns the file name and path of the  application knowledge base.
  std::string AKBFilename() const;
  // Modified is set from the Methods Add Update and Delete. The Save method resets the property.
  bool Modified() const;
  // A long value between 1 and 500 specifying the maximum number of result entries the Find
  // method should return. The default value is 100. Values <= 0 are ignored, larger ones give 500.
  int32_t MaxResults() const { return maxResults_; }
  void MaxResults(int32_t value);
  // A double value between 0.0 and 1.0 specifying the minimum confidence level for a hit. The
  // default value is 0.0, which means return all search hits. Other values are ignored.
  double MinConfidence() const { return minConfidence_; }
  void MinConfidence(double value);
  // The largest distance from the best hit's confidence a hit may have (0.0 to 1.0, default 1.0).
  double MaxDifference() const { return maxDifference_; }
  void MaxDifference(double value);
  // Deletes all entries in the application knowledge base for a given key.
  void Delete(const std::string& Key);
  // Adds a new entry to the application knowledge base. Value is a text or an array of texts
  // (joined with single spaces, empty elements skipped).
  void Insert(const std::string& Key, const Variant& Value);
  // Udates an existing or adds a new entry to the application knowledge base.
  void Update(const std::string& Key, const Variant& Value);
  // Saves all changes in the application knowledge base file.
  void Save();
  // The entries most similar to SearchString, filtered by MinConfidence and MaxDifference.
  std::shared_ptr<Resultset> Find(std::string SearchString);

 private:
  friend class Engine;
  AKB(std::shared_ptr<detail::ModuleState> state, std::shared_ptr<detail::KBInfo> akb,
      std::shared_ptr<detail::KBInfo> wkb);
  void add(const std::string& key, const Variant& value, bool update);

  std::shared_ptr<detail::ModuleState> state_;
  std::shared_ptr<detail::KBInfo> akbInfo_;
  std::shared_ptr<detail::KBInfo> wkbInfo_;
  int32_t maxResults_ = 100;
  double minConfidence_ = 0.0;
  double maxDifference_ = 1.0;
};

// The entry point: one per client thread is enough; all Engines of a thread share its state.
class VESKORX_API Engine {
 public:
  static std::shared_ptr<Engine> create();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Initialises this thread's component state; does nothing when already initialised.
  void Initialize();
  // Creates an empty application knowledge base file; returns the trimmed name, or an empty text
  // (doing nothing) before Initialize. akbMode is not used.
  std::string AKBCreate(const std::string& Filename, int32_t akbMode = 0);
  // Deletes a knowledge-base file; does nothing before Initialize.
  void AKBDelete(const std::string& Filename);
  // Loads an application knowledge base paired with the thread's temporary word knowledge base;
  // null before Initialize.
  std::shared_ptr<AKB> AKBLoad(const std::string& AKBFilename);

 private:
  explicit Engine(std::shared_ptr<detail::ModuleState> state);
  std::shared_ptr<AKB> load(const std::string& akbFilename, const std::string& wkbFilename);

  std::shared_ptr<detail::ModuleState> state_;
};

}  // namespace veskorx
