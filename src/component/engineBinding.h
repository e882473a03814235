// The engine's component functions, reached through libveskoreng.so loaded at the first call and
// bound by name at each function's first call. A missing library throws error 53, a missing
// function error 453, both with the source of the operation that was running.
#pragma once

#include <string>

namespace veskorx::detail::engine {

int fnInit(const char* source);
int fnCleanup(const char* source);
int fnOpenConnection(int* connection, const char* source);
int fnCloseConnection(int connection, const char* source);
int fnCreateKBFile(int connection, const std::string& fileName, int language, int kind, const char* source);
int fnRemoveKBFile(int connection, const std::string& fileName, const char* source);
int fnOpenKB(int connection, const std::string& fileName, const std::string& kbName, const char* source);
int fnCloseKB(int connection, const std::string& kbName, const char* source);
int fnSaveKB(int connection, const std::string& kbName, const char* source);
// text is handed over as a mutable buffer: the engine cleans it in place.
int fnAddEntry(int connection, const std::string& wkbName, const std::string& akbName, const std::string& key,
               std::string& text, const char* source);
int fnUpdateEntry(int connection, const std::string& wkbName, const std::string& akbName,
                  const std::string& key, std::string& text, const char* source);
int fnDeleteEntry(int connection, const std::string& kbName, const std::string& key, const char* source);
int fnSearch(int connection, const std::string& wkbName, const std::string& akbName, int maxNumberHits,
             int splitCompounds, const std::string& searchText, void** hitList, int* numberHits,
             const char* source);
int fnGetSearchHit(int connection, void* hitList, int index, char* keyBuffer, double* confidence,
                   int* reserved, const char* source);
int fnFreeSearchHits(int connection, void* hitList, const char* source);

}  // namespace veskorx::detail::engine
