# bash completion for zorl (and zorl-sim, the same program on a simulated
# board): options, command keywords, clock-set field names and values.

# Clock-set fields and the largest value each accepts, in listing order.
_zorl_clkset1="pll1_x2ipd:31 pll1_x2fdb2:63 pll1_x1fdb1:31 pll1_ps:3 fclkdiv:7 hclkdiv:7
pclkdiv:3 nbyp1:1 smcrom:1"
_zorl_clkset2="pll2_x2ipd:31 pll2_x2fdb2:63 pll2_x1fdb1:31 pll2_ps:3 nbyp2:1 pll2_en:1 usbdiv:14"

_zorl() {
    # The word being completed as the user typed it: bash splits words at
    # "=", which is part of a command here.
    local line=${COMP_LINE:0:COMP_POINT}
    local cur=${line##*[[:space:]]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local words=() w i

    # Does the word belong to the options?  They end at the first argument
    # that does not begin with "-"; -o and -i take the next one whatever it is.
    local inopts=1
    for ((i = 1; i < COMP_CWORD; i++)); do
        w=${COMP_WORDS[i]}
        case $w in
        -o | -ou | -out | -outp | -outpu | -output | -i | -in | -inp | -inpu | -input)
            if ((i + 1 == COMP_CWORD)); then
                # The file of -o or -i.
                COMPREPLY=($(compgen -f -- "$cur"))
                compopt -o filenames 2>/dev/null
                return
            fi
            ((i++))
            ;;
        -*) ;;
        *)
            inopts=0
            break
            ;;
        esac
    done

    if ((inopts)) && [[ $cur == -* ]]; then
        words=(-v -w -d -h -i -o)
    else
        local kw=${cur%%[.=]*} fields=
        kw=${kw,,}
        case $kw in
        clkset1) fields=$_zorl_clkset1 ;;
        clkset2) fields=$_zorl_clkset2 ;;
        esac
        case $cur in
        *.*=*)
            # A field's value: every value it accepts.
            local name=${cur#*.}
            name=${name%%=*}
            for w in $fields; do
                if [[ ${w%%:*} == "${name,,}" ]]; then
                    words=($(seq 0 "${w##*:}"))
                    ((${w##*:} == 1)) && words+=(on off)
                fi
            done
            words=("${words[@]/#/${cur%%=*}=}")
            ;;
        *=*)
            case $kw in
            ether | ether? | ether?? | ethernet | usb | irda | uart | write)
                words=("${cur%%=*}=on" "${cur%%=*}=off")
                ;;
            esac
            ;;
        *.*)
            for w in $fields write; do words+=("${cur%%.*}.${w%%:*}"); done
            ;;
        *)
            words=(ethernet usb irda uart write dma chipid clkset1 clkset2)
            ;;
        esac
    fi

    COMPREPLY=($(compgen -W "${words[*]}" -- "$cur"))
    # bash replaces only what follows the last "=" of the word.
    if [[ $cur == *=* ]]; then
        COMPREPLY=("${COMPREPLY[@]#"${cur%=*}="}")
    fi
}

complete -F _zorl zorl zorl-sim
