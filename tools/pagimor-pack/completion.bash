# bash completion for pagimor-pack                          -*- shell-script -*-

_pagimor_pack() {
  local cur prev words cword
  _init_completion || return

  local commands="create preview list extract verify help"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      --viewer | -o | --output | --for | --exclude) ((i++)) ;;
      -*) ;;
      *) command=${words[i]}; break ;;
    esac
  done

  case $prev in
    --for)
      COMPREPLY=($(compgen -W "linux windows" -- "$cur"))
      return
      ;;
    --viewer | -o | --output)
      _filedir
      return
      ;;
    --exclude)
      return
      ;;
  esac

  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  if [[ $cur == -* ]]; then
    local options="--help"
    case $command in
      create) options+=" --for --viewer --output -o --quiet -q --exclude" ;;
      preview) options+=" --for --viewer --exclude" ;;
      extract) options+=" --quiet -q" ;;
    esac
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi

  case $command in
    create | preview) _filedir -d ;;
    help) COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    *) _filedir ;;
  esac
} &&
  complete -F _pagimor_pack pagimor-pack
