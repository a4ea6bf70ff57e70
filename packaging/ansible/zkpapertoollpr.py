# -*- coding: utf-8 -*-
# Copyright: zkpapertoollpr developers; MIT licence (see the package's copyright file)
# No shebang and not executable on purpose: Ansible bundles the module and picks the
# interpreter itself, and lintian would flag a script that cannot be run.

DOCUMENTATION = r'''
---
module: zkpapertoollpr
short_description: Manage the custom label formats of a Zentrik label printer driver
description:
  - Makes one printer driver hold the label formats listed in C(formats), through
    C(zkpapertoollpr_<model> -P <printer> --apply -).
  - Formats the driver lacks are added, those whose width, length or media differ are
    replaced, the same ones are left alone; with C(prune=true), the driver's other custom
    formats are deleted.
  - Needs the zkpapertoollpr package and the model's driver on the managed host.
author: zkpapertoollpr developers
options:
  model:
    description:
      - The printer model as the tool's command names it, such as C(txm88) for
        C(zkpapertoollpr_txm88).
    type: str
    required: true
  printer:
    description: The printer's queue name, passed to the tool as C(-P).
    type: str
    required: true
  formats:
    description:
      - The formats the driver should have.
      - On a tape model, a format without C(media) is sized the way the tool's
        C(-w) and C(-h) size it, so the listing may show another width and the media.
    type: list
    elements: dict
    required: true
    suboptions:
      name:
        description: The format's name.
        type: str
        required: true
      width:
        description: Width in millimetres.
        type: float
        required: true
      length:
        description: Length in millimetres.
        type: float
        required: true
      media:
        description: The tape media of a tape format, like C(zkS12mm).
        type: str
  prune:
    description: Delete the driver's custom formats that C(formats) does not list.
    type: bool
    default: false
  command:
    description:
      - Path of the tool to run.
      - Default is C(zkpapertoollpr_<model>) found on the managed host's PATH.
    type: path
notes:
  - Check mode runs the tool with C(--dry-run), which changes nothing and reports what
    an apply would change.
  - In diff mode, the diff shows the driver's C(--list) before and after. In check mode,
    the listing after is a prediction made from the listing before and the would-be
    changes, each added or replaced format as C(formats) gives it; the tool may size a
    tape format differently and list the formats in another order.
  - A name cannot start with C(#), which would make its line a comment to the tool.
'''

EXAMPLES = r'''
- name: Packing station labels
  zkpapertoollpr:
    model: txm88
    printer: TX-M88
    formats:
      - {name: Parcel tag, width: 12, length: 50}
      - {name: Shelf labels, width: 22, length: 100, media: zkS24mm}
    prune: true
'''

RETURN = r'''
changes:
  description:
    - One entry per format added, replaced or deleted (in check mode, that would be).
    - C(name) is written as the tool's C(--list) writes it, control characters escaped.
  returned: success
  type: list
  elements: dict
  sample: [{action: added, name: Parcel tag}, {action: deleted, name: Old tag}]
'''

import re
import subprocess

from ansible.module_utils.basic import AnsibleModule

ACTIONS = ('added', 'replaced', 'deleted')


def escape(name):
    """Writes a name as --list does, so that each line holds exactly its fields."""
    out = []
    for c in name:
        if c == '\\':
            out.append('\\\\')
        elif c == '\t':
            out.append('\\t')
        elif c == '\n':
            out.append('\\n')
        elif c == '\r':
            out.append('\\r')
        elif ord(c) < 0x20 or ord(c) == 0x7f:
            out.append('\\%03o' % ord(c))
        else:
            out.append(c)
    return ''.join(out)


def millimetres(value):
    return '%d' % value if value.is_integer() else repr(value)


def format_line(entry):
    fields = [escape(entry['name']), millimetres(entry['width']), millimetres(entry['length'])]
    if entry.get('media'):
        fields.append(entry['media'])
    return '\t'.join(fields)


def tool(module, args, data=None):
    # Not run_command, which writes all of the input before it reads: a tool that stops
    # reading at a bad line would leave a broken pipe instead of its diagnostic.
    try:
        proc = subprocess.run(args, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              stdin=None if data is not None else subprocess.DEVNULL)
    except OSError as e:
        module.fail_json(msg='%s: %s' % (args[0], e.strerror))
    return (proc.returncode, proc.stdout.decode('utf-8', 'replace'),
            proc.stderr.decode('utf-8', 'replace'))


def fail(module, rc, out, err, what):
    # The tool says what went wrong on standard error, one line each.
    msg = err.strip() or out.strip() or '%s ended with status %d' % (what, rc)
    module.fail_json(msg=msg, rc=rc, stdout=out, stderr=err)


def listing(module, command):
    rc, out, err = tool(module, [command, '--list'])
    if rc != 0:
        fail(module, rc, out, err, '--list')
    return out


def parse_changes(module, rc, out, err):
    changes = []
    for line in out.splitlines():
        action, tab, name = line.partition('\t')
        if action not in ACTIONS or not tab:
            # A tool without --apply shows its usage screen instead.
            module.fail_json(msg=err.strip() or 'unexpected output: %s' % line,
                             rc=rc, stdout=out, stderr=err)
        changes.append({'action': action, 'name': name})
    return changes


def predict(before, changes, wanted):
    """The listing an apply would leave: changed formats first, as the newest."""
    gone = set(change['name'] for change in changes)
    kept = [line for line in before.splitlines() if line.split('\t', 1)[0] not in gone]
    new = [wanted[change['name']] for change in reversed(changes)
           if change['action'] != 'deleted' and change['name'] in wanted]
    return ''.join(line + '\n' for line in new + kept)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            model=dict(type='str', required=True),
            printer=dict(type='str', required=True),
            formats=dict(type='list', elements='dict', required=True, options=dict(
                name=dict(type='str', required=True),
                width=dict(type='float', required=True),
                length=dict(type='float', required=True),
                media=dict(type='str'),
            )),
            prune=dict(type='bool', default=False),
            command=dict(type='path'),
        ),
        supports_check_mode=True,
    )
    p = module.params
    if not re.match(r'^[a-z0-9]+$', p['model']):
        module.fail_json(msg="model '%s' is no model name" % p['model'])
    for entry in p['formats']:
        if entry['name'].startswith('#'):
            module.fail_json(msg="format '%s': a name cannot start with #" % entry['name'])
        # Anything else in the media would end its line or add a field.
        if entry.get('media') and not re.match(r'^[!-~]+$', entry['media']):
            module.fail_json(msg="format '%s': media '%s' holds a blank or control character"
                             % (entry['name'], entry['media']))
    command = p['command'] or module.get_bin_path('zkpapertoollpr_' + p['model'], required=True)

    wanted = dict((escape(entry['name']), format_line(entry)) for entry in p['formats'])
    text = ''.join(format_line(entry) + '\n' for entry in p['formats'])
    args = [command, '-P', p['printer'], '--apply', '-']
    if p['prune']:
        args.append('--prune')
    if module.check_mode:
        args.append('--dry-run')

    before = listing(module, command) if module._diff else None
    rc, out, err = tool(module, args, data=text.encode('utf-8'))
    if rc != 0 and not (module.check_mode and rc == 1):
        fail(module, rc, out, err, '--apply')
    changes = parse_changes(module, rc, out, err)
    changed = rc == 1 if module.check_mode else bool(changes)

    result = dict(changed=changed, changes=changes)
    if module._diff:
        if module.check_mode:
            after = predict(before, changes, wanted)
        else:
            after = listing(module, command) if changed else before
        result['diff'] = dict(before=before, after=after,
                              before_header='%s --list' % command,
                              after_header='%s --list' % command)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
