#pragma once
// The agent's file operations on the real file system.
#include "upgrade/agent/AgentPlan.h"

class TWinAgentFiles : public TAgentFiles {
public:
    bool Exists(const std::string& Path) override;
    bool CanOpenForWriting(const std::string& Path) override;
    std::vector<std::string> UpdateFiles(const std::string& Folder) override;
    bool Move(const std::string& From, const std::string& To) override;
    bool Delete(const std::string& Path) override;
    void SetAttributes(const std::string& Path, bool Hidden) override;
    bool Start(const std::string& CommandLine) override;
    void Sleep(int Milliseconds) override;
};
