#!/usr/bin/env bash
# Placeholder until the private mail servers are scripted.
exit 0
